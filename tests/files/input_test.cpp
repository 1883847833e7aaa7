// Inputs read once: gzip content from an input whose head was read already,
// and the bound on raw streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <csignal>
#include <random>
#include <thread>

#include "files/ovcapturefile.h"
#include "files/ovinflate.h"
#include "support/testfiles.h"

namespace {

// A pipe that a thread fills with bytes, then with zeros up to total bytes
// (none by default), until its reader closes it. Opened by path, as a user's
// /dev/stdin would be.
class TfedPipe {
 public:
  explicit TfedPipe(std::string bytes, uint64_t total = 0) {
    if (pipe(fds) != 0) std::abort();
    path = "/dev/fd/" + std::to_string(fds[0]);
    writer = std::thread([this, bytes = std::move(bytes), total] {
      std::signal(SIGPIPE, SIG_IGN);
      const std::string zeros(1 << 16, '\0');
      for (size_t at = 0; at < bytes.size() || written < total;) {
        const bool head = at < bytes.size();
        const size_t n = head ? bytes.size() - at : std::min<uint64_t>(zeros.size(), total - written);
        const ssize_t put = write(fds[1], head ? bytes.data() + at : zeros.data(), n);
        if (put <= 0) break;
        at += head ? static_cast<size_t>(put) : 0;
        written += static_cast<uint64_t>(put);
      }
      close(fds[1]);
    });
  }
  // Call once the input is open: the input holds a descriptor of its own.
  void dropReadEnd() { close(fds[0]); }
  ~TfedPipe() { writer.join(); }

  std::string path;
  std::atomic<uint64_t> written{0};

 private:
  int fds[2];
  std::thread writer;
};

std::string gzipped(const std::string& text) {
  uLongf size = compressBound(text.size()) + 32;
  std::string out(size, '\0');
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Tcontent {
  std::string bytes;
  bool failed = false;
};

// What zlib's own reader makes of a file: the judge.
Tcontent byGzread(const std::string& path) {
  Tcontent c;
  gzFile f = gzopen(path.c_str(), "rb");
  char buf[4096];
  int n;
  while ((n = gzread(f, buf, sizeof buf)) > 0) c.bytes.append(buf, static_cast<size_t>(n));
  int code = Z_OK;
  gzerror(f, &code);
  c.failed = n < 0 || (code != Z_OK && code != Z_STREAM_END);
  gzclose(f);
  return c;
}

Tcontent byInflater(Tinput& input) {
  Tcontent c;
  Tinflater inflater(input);
  char buf[4096];
  for (;;) {
    const Tinflater::Tpiece piece = inflater.read(buf, sizeof buf);
    c.failed = piece.code != Z_OK && piece.code != Z_STREAM_END;
    if (c.failed || piece.size == 0) return c;
    c.bytes.append(buf, static_cast<size_t>(piece.size));
  }
}

}  // namespace

// The loader reads gzip itself, since a pipe's head cannot be given back to
// gzread; it must agree with gzread on every shape, from a file and a pipe.
TEST(Input, InflaterReadsWhatGzreadReads) {
  std::mt19937 random(7);
  std::string text;  // hex digits compress to about half: the stream spans many reads
  while (text.size() < 400000)
    text += "0123456789abcdef"[random() % 16] + std::string(random() % 5 == 0, '\n');
  const std::string gz = gzipped(text);
  ASSERT_GT(gz.size(), 150000u);
  std::string damaged = gz;
  damaged[gz.size() / 2] ^= 0x55;
  const std::pair<const char*, std::string> shapes[] = {
      {"one member", gz},
      {"two members", gz + gzipped("and more\n")},
      {"a member and bytes that are none", gz + "not gzip"},
      {"plain text", text},
      {"empty", ""},
      {"cut short", gz.substr(0, gz.size() - 12)},
      {"damaged", damaged},
      {"a magic alone", "\x1f\x8b"},
  };
  for (const auto& [name, bytes] : shapes) {
    SCOPED_TRACE(name);
    const std::string path = tempPath("shape.gz");
    writeFile(path, bytes);
    const Tcontent judge = byGzread(path);
    Tinput file(path);
    const Tcontent fromFile = byInflater(file);
    TfedPipe pipe(bytes);
    Tinput piped(pipe.path);
    pipe.dropReadEnd();
    const Tcontent fromPipe = byInflater(piped);
    for (const Tcontent* got : {&fromFile, &fromPipe}) {
      EXPECT_EQ(got->failed, judge.failed);
      // Where gzread fails, it may hand out some bytes first; only the verdict is compared.
      EXPECT_TRUE(judge.failed || got->bytes == judge.bytes) << got->bytes.size() << " bytes";
    }
  }
}

// A raw stream is refused as soon as it passes the longest a capture can be,
// while it is read: an endless one (a capture, then /dev/zero) would
// otherwise take all memory. The product's bound is 4 GiB; this one is 1 MiB.
TEST(Input, RawStreamLongerThanACaptureIsRefused) {
  const std::string raw = readFile(TWR_SOURCE_DIR "/data/example.raw");
  constexpr uint64_t bound = 1 << 20, fed = 16 << 20;
  TfedPipe endless(raw, fed);
  Tinput input(endless.path);
  endless.dropReadEnd();
  TcaptureFile bounded(bound);
  Tcapture capture;
  EXPECT_FALSE(bounded.loadRaw(input, capture));
  EXPECT_EQ(bounded.lastError(),
            endless.path + ": longer than the largest capture the device makes (1048576 bytes)");
  EXPECT_EQ(capture.rowCount(), 0u);
  // Stopped at the bound: the pipe took one block beyond it, and what its buffer holds.
  EXPECT_LT(endless.written, bound + (1 << 18));

  // A stream of exactly the bound is read; one byte over is not.
  for (const uint64_t longest : {uint64_t{raw.size()}, uint64_t{raw.size() - 1}}) {
    TfedPipe pipe(raw);
    Tinput exact(pipe.path);
    pipe.dropReadEnd();
    TcaptureFile file(longest);
    Tcapture loaded;
    EXPECT_EQ(file.loadRaw(exact, loaded), longest == raw.size()) << file.lastError();
    EXPECT_EQ(loaded.rowCount() == 0, longest != raw.size());
  }
}
