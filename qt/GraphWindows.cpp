// SPDX-License-Identifier: MIT
#include "qt/GraphWindows.h"

#include "qt/ResponseGraphWnd.h"
#include "qt/ResponseMonitorDlg.h"

#include <QApplication>

namespace vigilon {

bool runResponseMonitorDialog(Prompter &prompter, ResponseGraphParams &params)
{
    return editResponseGraphParams(params, [&prompter](ResponseMonitorForm &form) {
        // The frame has no window of its own to parent the dialog to; it is
        // modal for the whole program.
        CResponseMonitorDlg dialog(prompter, form);
        dialog.setWindowModality(Qt::ApplicationModal);
        return dialog.exec() == QDialog::Accepted;
    });
}

std::unique_ptr<ResponseGraph> makeResponseGraphWindow(const Clock &clock, Prompter &prompter,
                                                       const ResponseGraphParams &params,
                                                       std::function<void()> closeRequest)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return nullptr;
    auto window = std::make_unique<CResponseGraphWnd>(
        [request = std::move(closeRequest)](const ResponseGraph *) {
            if (request)
                request();
        },
        clock, prompter, params);
    if (!window->Create())
        return nullptr;
    return window;
}

} // namespace vigilon
