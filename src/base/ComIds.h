#pragma once

#include <windows.h>

// The classes this module serves, each identifier written once. A class id's registry text is made
// from it below, when the module is compiled, so the two cannot differ.

// The context-menu handler: {23170F69-40C1-439B-1000-000100020000}.
inline constexpr GUID CLSID_ShellMenuHandler = {
    0x23170F69, 0x40C1, 0x439B, {0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}};
// The options plug-in that the file manager asks CreateObject for: {23170F69-40C1-278D-1000-000100020000}.
// It shares its first three groups with the product's own interfaces.
inline constexpr GUID CLSID_OptionsPlugin = {
    0x23170F69, 0x40C1, 0x278D, {0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}};
// The Explorer command provider, the item Windows 11's Explorer shows in its first-level menu:
// {D99A7F10-3640-4EBE-93D5-DED52B99142E}. The build reads this initializer to write the class id
// into the sparse package's manifest (AppxManifest.xml): keep it on its own, in this form.
inline constexpr GUID CLSID_ExplorerCommandProvider = {
    0xD99A7F10, 0x3640, 0x4EBE, {0x93, 0xD5, 0xDE, 0xD5, 0x2B, 0x99, 0x14, 0x2E}};
// The canonical name of the provider's top item: {254BC9D6-C471-4742-82D7-327ADDE1A11C}. Its
// sub-commands are named by their verbs in this namespace (MakeNameBasedGuid).
inline constexpr GUID GUID_ExplorerCommandCanonicalName = {
    0x254BC9D6, 0xC471, 0x4742, {0x82, 0xD7, 0x32, 0x7A, 0xDD, 0xE1, 0xA1, 0x1C}};

// A class id as the registry spells it: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case
// hexadecimal with braces (as StringFromGUID2 writes it), ending with a zero.
struct CClassIdText
{
    char Text[39];
};

// Appends the lowest `digits` hexadecimal digits of `value`, the most significant first.
constexpr void AppendHexDigits(CClassIdText& text, int& at, unsigned long value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text.Text[at++] = "0123456789ABCDEF"[(value >> shift) & 0xF];
}

constexpr CClassIdText MakeClassIdText(const GUID& id)
{
    CClassIdText text = {};
    int at = 0;
    text.Text[at++] = '{';
    AppendHexDigits(text, at, id.Data1, 8);
    text.Text[at++] = '-';
    AppendHexDigits(text, at, id.Data2, 4);
    text.Text[at++] = '-';
    AppendHexDigits(text, at, id.Data3, 4);
    text.Text[at++] = '-';
    for (int i = 0; i < 8; i++)
    {
        if (i == 2)
            text.Text[at++] = '-';
        AppendHexDigits(text, at, id.Data4[i], 2);
    }
    text.Text[at++] = '}';
    text.Text[at] = 0;
    return text;
}

// The handler's class id as text: the value of the shell's handler keys.
inline constexpr CClassIdText kShellMenuHandlerClassIdText = MakeClassIdText(CLSID_ShellMenuHandler);
// The provider's class id as text, as the package manifest and COM's class keys name it.
inline constexpr CClassIdText kExplorerCommandProviderClassIdText = MakeClassIdText(CLSID_ExplorerCommandProvider);

// True when the 16 bytes of the two identifiers are equal.
bool SameId(const GUID& left, const GUID& right);
