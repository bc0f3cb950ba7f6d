#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;

namespace tarvok {

class Project;

/// The time input: a prompt and a box holding the value as time text ("001'05.250"; a
/// position counts from the zero position and may be negative). Below the box the time as
/// read is shown while typing, so a typing slip is seen before OK. Frames() gives the
/// answer in frames after OK; an empty answer, a lone "-" or Cancel give nothing.
class FrmTimeInput : public QDialog {
    Q_OBJECT
public:
    FrmTimeInput(const Project& pProject, const QString& pPrompt, int32_t pFrames, bool pPosition,
        QWidget* pParent = nullptr);
    /// The same with the default answer given as text.
    FrmTimeInput(const Project& pProject, const QString& pPrompt, const QString& pText,
        bool pPosition, QWidget* pParent = nullptr);

    std::optional<int32_t> Frames() const;
    /// The text as typed.
    QString Text() const;
    QLineEdit* TextTime() const { return text_; }
    QLabel* Preview() const { return preview_; }

private:
    void UpdatePreview();

    const Project& project_;
    bool position_;
    QLineEdit* text_;
    QLabel* preview_;
};

} // namespace tarvok
