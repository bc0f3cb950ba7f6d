#pragma once

#include <QDialog>

namespace tarvok {

/// The about window: the product title, its version, the maker and the libraries the
/// program is built on.
class FrmVer : public QDialog {
    Q_OBJECT
public:
    explicit FrmVer(QWidget* pParent = nullptr);
};

} // namespace tarvok
