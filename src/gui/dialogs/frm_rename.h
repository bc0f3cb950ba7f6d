#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace tarvok {

/// The rename dialog "名称入力": one text box holding the current name, all of it
/// selected. OK (button or Enter) gives the text trimmed and cleaned as block names are;
/// closing without OK gives the name unchanged.
class FrmRename : public QDialog {
    Q_OBJECT
public:
    explicit FrmRename(const QString& pCurrent, QWidget* pParent = nullptr);

    /// The answer: the cleaned text after OK, else the name the dialog was opened with.
    QString Name() const;
    QLineEdit* TextName() const { return text_; }

    /// Opens the dialog modally and returns Name().
    static QString Ask(const QString& pCurrent, QWidget* pParent);

private:
    QString current_;
    QLineEdit* text_;
};

} // namespace tarvok
