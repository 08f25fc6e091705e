// SPDX-License-Identifier: Apache-2.0
// Copyright Contributors to the Quorvel Project
//
// The engine's operating-system calls on Windows. Paths arrive as UTF-8 and
// go to the wide (UTF-16) calls; files are opened in binary mode, so that no
// byte is translated and a Ctrl-Z byte ends nothing. Windows' error codes
// are mapped onto errno values, as platform.h asks.
//
// What the Windows files of platform.h share: text between UTF-8 and
// UTF-16, Windows' errors as errno values, looking at files, and the named
// files an interruption deletes.
#pragma once

#include "platform.h"

#include <atomic>
#include <string>
#include <windows.h>

namespace quorvel::platform {

std::wstring Wide(const std::string& Utf8);
std::string Utf8(const std::wstring& Wide);

ErrorCode ErrnoOf(DWORD Error);
ErrorCode LastError();

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices in every
// folder, also with an extension (nul.syncar) or trailing blanks.
bool IsDeviceName(const std::string& Path);

// A handle for looking at Path (what it is, which file it is), following
// links; INVALID_HANDLE_VALUE when there is nothing to look at.
HANDLE OpenToLookAt(const std::string& Path);

bool Identify(HANDLE File, BY_HANDLE_FILE_INFORMATION& Info);
FileIdentity IdentityIn(const BY_HANDLE_FILE_INFORMATION& Info);

// Named files being written, for the console's interruption handler (a
// thread of its own) to delete: the slot that now holds Path, or -1 when
// none is free.
int Register(const std::wstring& Path);
void Unregister(int Slot);

// The slot of a file being renamed into place: the interruption handler
// tells from it whether the new scene is in place.
extern std::atomic<int> committingSlot;

}  // namespace quorvel::platform
