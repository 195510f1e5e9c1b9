// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace vigilon {

// The version box. Made once and kept: OK, Esc and the close box hide it,
// and showing it again brings back the same window where it last was. It
// stays above other windows and sits at the screen's top-left corner the
// first time it is shown.
class CAboutDlg final : public QDialog, public AboutBoxView {
    Q_OBJECT
public:
    explicit CAboutDlg(Monitor &frame);

    void show() override;
    void hide() override { QDialog::hide(); }

    QPushButton *okButton() const { return ok_; }
    QLabel *versionLabel() const { return version_; }
    QLabel *iconLabel() const { return icon_; }

protected:
    void done(int result) override;

private:
    QPushButton *ok_;
    QLabel *icon_;
    QLabel *version_;
    bool placed_ = false;
};

} // namespace vigilon
