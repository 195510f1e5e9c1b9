// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "base/WindowLayout.h"

#include <functional>

#include <QDialog>

class QLabel;
class QPushButton;

namespace vigilon {

// The version box. Made once and kept: OK, Esc and the close box hide it,
// and showing it again brings back the same window where it last was. It
// stays above other windows; the first time it is shown it opens beside the
// main dialog (left of it first), or in the middle of the screen while that
// is hidden.
class CAboutDlg final : public QDialog, public AboutBoxView {
    Q_OBJECT
public:
    // placeArea tells where it may open (see placeBeside).
    explicit CAboutDlg(Monitor &frame, std::function<PlaceArea()> placeArea = {});

    void show() override;
    void hide() override { QDialog::hide(); }

    QPushButton *okButton() const { return ok_; }
    QLabel *versionLabel() const { return version_; }

protected:
    void done(int result) override;

private:
    QPushButton *ok_;
    QLabel *icon_;
    QLabel *version_;
    bool placed_ = false;
    std::function<PlaceArea()> placeArea_;
};

// Where a window beside owner may go: owner's frame while it is shown, and
// the work area of its screen (the primary screen's without an owner).
PlaceArea placeAreaOf(const QWidget *owner);

} // namespace vigilon
