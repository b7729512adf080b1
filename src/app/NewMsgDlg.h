// MsgDlg: every notice, error and question the program puts to the user.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace varnetta::app {

enum TMsgDlgType : int { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

// Button set: bit i asks for the button at position i.
enum TMsgDlgBtn : uint16_t {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
};
using TMsgDlgButtons = uint16_t;

// Result codes.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

// Shows the modal dialog and returns the code of the button that closed it
// (2 for the close box).
int MsgDlg(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpCtx = 0);

// Tests answer dialogs through this hook instead of a person: while a hook
// is set, MsgDlg calls it and returns its result without showing anything.
// Returns the previous hook.
using TMsgDlgHook = std::function<int(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons)>;
TMsgDlgHook SetMsgDlgHook(TMsgDlgHook hook);

} // namespace varnetta::app
