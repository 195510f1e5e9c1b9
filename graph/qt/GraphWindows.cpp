// SPDX-License-Identifier: MIT
#include "graph/qt/GraphWindows.h"

#include "graph/qt/ResponseGraphWnd.h"
#include "graph/qt/ResponseMonitorDlg.h"

#include <QApplication>

namespace vigilon {

bool runResponseMonitorDialog(Prompter &prompter, ResponseGraphParams &params)
{
    // The frame has no window of its own to parent the dialog to; it is
    // modal for the whole program.
    CResponseMonitorDlg dialog(prompter);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.portText = params.seriesNames;
    dialog.defaultFileBase = "sample";
    dialog.alpha = params.alpha;
    dialog.maxHistory = params.maxHistory;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    params.alpha = dialog.alpha;
    params.maxHistory = dialog.maxHistory;
    params.recordToFile = dialog.recordToFile;
    params.fileName = dialog.recordToFile ? dialog.fileName : std::string();
    return true;
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
