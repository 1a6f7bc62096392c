#include <windows.h>

#include <algorithm>
#include <vector>

#include "formwell/shell/platform.h"

namespace formwell::shell {

namespace {

constexpr DWORD kRegistryBufferChars = 2048;

// Reads one string value; never fails towards its caller: any problem gives kNotFound. The key is
// closed whatever happened on the way.
std::string readRegistry(HKEY Group, const std::string& Section, const std::string& Key) {
    HKEY handle = nullptr;
    const LONG opened = RegOpenKeyA(Group, Section.c_str(), &handle);
    std::vector<char> buffer(kRegistryBufferChars, '\0');
    DWORD size = kRegistryBufferChars;
    DWORD type = 0;
    LONG queried = opened;
    if (opened == ERROR_SUCCESS) {
        queried = RegQueryValueExA(handle, Key.empty() ? nullptr : Key.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size);
    }
    std::string result = kNotFound;
    if (queried == ERROR_SUCCESS) {
        // The stored text without its terminating NUL; an empty value has size 1 (or 0).
        const DWORD length = size > 0 ? size - 1 : 0;
        result.assign(buffer.data(), std::min<DWORD>(length, kRegistryBufferChars));
    }
    if (handle != nullptr) {
        (void)RegCloseKey(handle);  // nothing to do about a failed close of a read-only key
    }
    return result;
}

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char text[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                   0, text, sizeof text, nullptr);
    std::string out(text, n);
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n')) {
        out.pop_back();
    }
    return out.empty() ? "error " + std::to_string(code) : out;
}

}  // namespace

std::string browserCommand() {
    return readRegistry(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", "");
}

// The registered browser command is used as written, switches and placeholders included, so the
// whole line goes to CreateProcess unparsed.
bool startDetached(const std::string& commandLine, std::string& error) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        error = lastErrorText();
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

// A program that cannot run fails here, at its start; nothing is left to watch.
bool startWatched(const ProgramCall& call, std::string& error, ProgramFailure failedLater) {
    (void)failedLater;
    return startDetached(call.program, call.arguments, error);
}

ProgramCall textViewerCommand(const std::string& path) {
    return ProgramCall{"notepad.exe", {path}};
}

void reportFileSizeLimitAsError() {}  // Windows has no such signal: the write itself fails

}  // namespace formwell::shell
