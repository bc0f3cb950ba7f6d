#include "gui/strip_fader.h"

#include <QGridLayout>
#include <QSlider>
#include <QToolButton>

namespace tarvok {

StripFader::StripFader(int pUnity, QWidget* pParent)
    : QWidget(pParent)
    , unity_(pUnity)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    left_ = new QSlider(Qt::Vertical, this);
    right_ = new QSlider(Qt::Vertical, this);
    for (QSlider* s : { left_, right_ }) {
        s->setRange(0, 255);
        s->setFocusPolicy(Qt::NoFocus);
        s->setMinimumHeight(40);
    }
    link_ = new QToolButton(this);
    link_->setCheckable(true);
    link_->setText(QStringLiteral("∞"));
    link_->setToolTip(tr("リンク"));
    link_->setFocusPolicy(Qt::NoFocus);
    link_->setFixedSize(26, 14);
    grid->addWidget(left_, 0, 0);
    grid->addWidget(right_, 0, 1);
    grid->addWidget(link_, 1, 0, 1, 2, Qt::AlignHCenter);
    connect(left_, &QSlider::valueChanged, this, [this](int v) { Moved(0, v); });
    connect(right_, &QSlider::valueChanged, this, [this](int v) { Moved(1, v); });
    connect(link_, &QToolButton::toggled, this, [this](bool on) {
        if (!setting_)
            emit Changed(Left(), Right(), on);
    });
}

void StripFader::SetValues(int pLeft, int pRight, bool pLinked)
{
    setting_ = true;
    left_->setValue(pLeft);
    right_->setValue(pRight);
    link_->setChecked(pLinked);
    setting_ = false;
}

int StripFader::Left() const { return left_->value(); }
int StripFader::Right() const { return right_->value(); }
bool StripFader::Linked() const { return link_->isChecked(); }

void StripFader::Moved(int pSide, int pValue)
{
    if (setting_)
        return;
    if (Linked()) {
        setting_ = true;
        (pSide == 0 ? right_ : left_)->setValue(pValue);
        setting_ = false;
    }
    emit Changed(Left(), Right(), Linked());
}

void StripFader::mouseDoubleClickEvent(QMouseEvent*)
{
    SetValues(unity_, unity_, Linked());
    emit Changed(unity_, unity_, Linked());
}

void StripFader::enterEvent(QEnterEvent*) { emit Hovered(); }

} // namespace tarvok
