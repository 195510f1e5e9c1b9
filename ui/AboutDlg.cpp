// SPDX-License-Identifier: MIT
#include "ui/AboutDlg.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vigilon {

CAboutDlg::CAboutDlg(CMainFrame &)
{
    setWindowTitle(QStringLiteral("Vigilon"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Vigilon"), this));
}

} // namespace vigilon
