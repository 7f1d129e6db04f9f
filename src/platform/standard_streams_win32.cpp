#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

#include "platform/draining_buffer.h"
#include "platform/standard_streams.h"
#include "platform/utf8_decoder.h"

namespace Corvenmark {
namespace {

// A console shows the bytes a program writes in its own code page (437, 850, ...), which is
// not UTF-8 and which the program must not change for the programs that run after it. Text
// written as UTF-16 reads right in any of them.
class ConsoleBuffer : public DrainingBuffer {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

  ~ConsoleBuffer() override {
    Drain();
    text_.clear();
    decoder_.Finish(text_);
    WriteAll();
  }

 private:
  // Writes every character that the buffered bytes complete; the start of one cut off at the
  // end of the buffer waits in the decoder for the next bytes.
  bool Drain() override {
    text_.clear();
    decoder_.Decode(std::string_view(pbase(), static_cast<size_t>(pptr() - pbase())), text_);
    Empty();
    return WriteAll();
  }

  bool WriteAll() {
    for (size_t done = 0; done < text_.size();) {
      DWORD count = static_cast<DWORD>(std::min<size_t>(text_.size() - done, 8192));
      // A surrogate pair is written whole.
      if (count > 1 && text_[done + count - 1] >= 0xD800 && text_[done + count - 1] <= 0xDBFF) {
        --count;
      }
      DWORD written = 0;
      if (!WriteConsoleW(console_, text_.data() + done, count, &written, nullptr) || written == 0) {
        return false;
      }
      done += written;
    }
    return true;
  }

  HANDLE console_;
  Utf8Decoder decoder_;
  std::u16string text_;
};

std::unique_ptr<ConsoleBuffer> ConsoleFor(DWORD standardHandle) {
  const HANDLE handle = GetStdHandle(standardHandle);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    return nullptr;
  }
  return std::make_unique<ConsoleBuffer>(handle);
}

bool gStreamsOwned = false;

}  // namespace

struct StandardStreams::Own {
  std::unique_ptr<ConsoleBuffer> out = ConsoleFor(STD_OUTPUT_HANDLE);
  std::unique_ptr<ConsoleBuffer> err = ConsoleFor(STD_ERROR_HANDLE);
  std::streambuf* originalOut = out ? std::cout.rdbuf(out.get()) : nullptr;
  std::streambuf* originalErr = err ? std::cerr.rdbuf(err.get()) : nullptr;
};

// In text mode the C runtime would turn each line feed into CR LF, inside values too.
StandardStreams::StandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // Default initialisation, as on POSIX: make_unique would zero the buffers first.
  own_.reset(new Own);
  gStreamsOwned = true;
}

StandardStreams::~StandardStreams() {
  if (own_->originalOut != nullptr) {
    std::cout.flush();
    std::cout.rdbuf(own_->originalOut);
  }
  if (own_->originalErr != nullptr) {
    std::cerr.flush();
    std::cerr.rdbuf(own_->originalErr);
  }
  gStreamsOwned = false;
}

// The program's C runtime took its handles of the two streams when it started, and a console
// buffer keeps its own. A library with a C runtime of its own (the DuckDB DLL links one in)
// takes the process's standard handles when it is loaded, which are the null device from here
// on.
void DivertStandardDescriptors() {
  static bool diverted = false;
  if (!gStreamsOwned || diverted) return;
  const HANDLE null = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (null == INVALID_HANDLE_VALUE) return;
  SetStdHandle(STD_OUTPUT_HANDLE, null);
  SetStdHandle(STD_ERROR_HANDLE, null);
  diverted = true;
}

}  // namespace Corvenmark
