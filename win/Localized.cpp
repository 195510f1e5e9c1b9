// SPDX-License-Identifier: MIT
#include "win/Localized.h"

#include "base/Language.h"

namespace vigilon::win {

namespace {

// The resource of the interface's language, or nullptr when the module has
// none of that language.
const void *localizedResource(HINSTANCE instance, LPCWSTR type, int id)
{
    HRSRC found = FindResourceExW(instance, type, MAKEINTRESOURCEW(id), resourceLanguage());
    if (!found)
        return nullptr;
    HGLOBAL loaded = LoadResource(instance, found);
    return loaded ? LockResource(loaded) : nullptr;
}

} // namespace

LANGID resourceLanguage()
{
    return currentLanguage() == Language::Japanese ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
                                                   : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

INT_PTR localizedDialogBox(HINSTANCE instance, int id, HWND owner, DLGPROC proc, LPARAM param)
{
    if (const void *found = localizedResource(instance, RT_DIALOG, id))
        return DialogBoxIndirectParamW(instance, static_cast<LPCDLGTEMPLATEW>(found), owner, proc, param);
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(id), owner, proc, param);
}

HWND localizedDialog(HINSTANCE instance, int id, HWND owner, DLGPROC proc, LPARAM param)
{
    if (const void *found = localizedResource(instance, RT_DIALOG, id))
        return CreateDialogIndirectParamW(instance, static_cast<LPCDLGTEMPLATEW>(found), owner, proc, param);
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(id), owner, proc, param);
}

HMENU localizedMenu(HINSTANCE instance, int id)
{
    if (const void *found = localizedResource(instance, RT_MENU, id))
        return LoadMenuIndirectW(found);
    return LoadMenuW(instance, MAKEINTRESOURCEW(id));
}

} // namespace vigilon::win
