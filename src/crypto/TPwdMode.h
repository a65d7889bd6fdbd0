#pragma once
// The modes of the key-file password dialog: what the steps ask for and what
// the dialog shows.
namespace KeyFilePwd {

enum TPwdMode : unsigned char { pmAskPassword = 0, pmNewPassword = 1, pmChangePassword = 2 };

} // namespace KeyFilePwd
