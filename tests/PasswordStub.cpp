// SPDX-License-Identifier: MIT
// A stand-in for the saver-password library of Windows 95 and 98
// ("PASSWORD.CPL"), copied into a test prefix's system folder: its check
// refuses every time, as a user who cancels the dialog does.
extern "C" __declspec(dllexport) int __stdcall VerifyScreenSavePwd(void*) {
    return 0;
}
