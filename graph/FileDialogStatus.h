// SPDX-License-Identifier: MIT
#pragma once

namespace vigilon {

// A prompter whose file dialog can fail to be shown also implements this, so
// that the caller can tell that failure from a cancel.
class FileDialogStatus {
public:
    virtual ~FileDialogStatus() = default;
    // True when the last file dialog could not be shown.
    virtual bool lastFileDialogFailed() const = 0;
};

} // namespace vigilon
