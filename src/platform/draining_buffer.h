#ifndef CORVENMARK_DRAINING_BUFFER_H_
#define CORVENMARK_DRAINING_BUFFER_H_

#include <streambuf>

namespace Corvenmark {

/// A stream buffer that gathers what is written to it and hands it all to Drain when it is
/// full or flushed, for the program's own writers of the standard streams.
class DrainingBuffer : public std::streambuf {
 protected:
  DrainingBuffer() { Empty(); }

  /// Writes out the bytes from pbase() to pptr() and calls Empty, written or not; false when
  /// they could not be written.
  virtual bool Drain() = 0;

  void Empty() { setp(bytes_, bytes_ + sizeof bytes_); }

  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override { return Drain() ? 0 : -1; }

 private:
  char bytes_[65536];
};

}  // namespace Corvenmark

#endif  // CORVENMARK_DRAINING_BUFFER_H_
