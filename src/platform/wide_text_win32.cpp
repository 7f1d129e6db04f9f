#include <windows.h>

#include "platform/wide_text.h"

namespace Corvenmark {
namespace {

std::string NarrowedTo(UINT codePage, const std::wstring& wide) {
  const int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                      nullptr, nullptr);
  return text;
}

}  // namespace

std::wstring WidenedFromCodePage(const std::string& text) {
  const int size =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string CodePageFromWide(const std::wstring& text) { return NarrowedTo(CP_ACP, text); }

std::string Utf8FromCodePage(const std::string& text) {
  return NarrowedTo(CP_UTF8, WidenedFromCodePage(text));
}

std::string WindowsErrorText(unsigned long error) {
  wchar_t text[512];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     text, sizeof text / sizeof text[0], nullptr);
  std::string reason = CodePageFromWide(std::wstring(text, length));
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason.empty() ? "error " + std::to_string(error) : reason;
}

}  // namespace Corvenmark
