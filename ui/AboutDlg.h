// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"

#include <QDialog>

namespace vigilon {

// The about box.
class CAboutDlg final : public QDialog, public AboutBoxView {
    Q_OBJECT
public:
    explicit CAboutDlg(CMainFrame &frame);
    void show() override { QDialog::show(); }
    void hide() override { QDialog::hide(); }
};

} // namespace vigilon
