#pragma once

#include "app/windows/level_dialog.h"

#include <QDialog>

#include <optional>
#include <utility>

class QLineEdit;

namespace tarvok {

class UserInterface;

/// The level dialog: a left ("L") and a right ("R") box in dB, shown as "00.0". For a
/// linked track the right box is disabled and follows the left one. Enter in the left box
/// moves to the right box (or confirms while the right one is disabled); Enter in the right
/// box confirms. Result() gives the two dB values after OK, or nothing after Cancel (the
/// values then count as -9999, no change). An unreadable value shows "値が不正です" and
/// keeps the dialog open.
class FrmSetLevel : public QDialog {
    Q_OBJECT
public:
    /// The marker both values take when the dialog is cancelled.
    static constexpr double kNoChange = -9999.0;

    FrmSetLevel(const LevelDialogModel& pModel, UserInterface& pUi, const QString& pTitle,
        QWidget* pParent = nullptr);

    const std::optional<std::pair<double, double>>& Result() const { return result_; }
    /// The two values: Result(), or kNoChange for both.
    std::pair<double, double> Values() const;
    LevelDialogModel& Model() { return model_; }
    QLineEdit* LeftBox() const { return left_; }
    QLineEdit* RightBox() const { return right_; }

public slots:
    void Confirm();

private:
    LevelDialogModel model_;
    UserInterface& ui_;
    std::optional<std::pair<double, double>> result_;
    QLineEdit* left_;
    QLineEdit* right_;
};

} // namespace tarvok
