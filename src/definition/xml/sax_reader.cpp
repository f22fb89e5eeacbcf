#include "definition/xml/sax_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/file_io.h"

namespace korvit::definition::xml {
namespace {

constexpr size_t kBlockSize = 2048;   // bytes read from a file at a time
constexpr uint32_t kWorkSize = 2048;  // characters shared by the text run and the tag
constexpr uint32_t kMaxAttributes = 32;
constexpr size_t kMessageSize = 160;  // a fault message holds at most 159 characters
constexpr int kEof = -1;

// Character classes of the codes 0 to 255. Codes above 255 are ordinary text: never part of a
// name, never white space, never markup. A character with code 0 is ordinary text as well: it is
// collected and delivered like any other character and never ends the input.
enum : uint8_t {
    kSpace = 1,       // space, tab, line feed, carriage return
    kNameStart = 2,   // A-Z a-z _ :
    kNameChar = 4,    // name start characters, digits, - .
    kTextStop = 8,    // ends the fast text scan: < & and the line characters
    kValueStop = 16,  // ends the fast attribute-value scan: kTextStop and both quotes
};

constexpr std::array<uint8_t, 256> MakeClasses() {
    std::array<uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        uint8_t k = 0;
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') k |= kSpace;
        if (letter || c == '_' || c == ':') k |= kNameStart | kNameChar;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.') k |= kNameChar;
        if (c == '<' || c == '&' || c == '\n' || c == '\r') k |= kTextStop | kValueStop;
        if (c == '"' || c == '\'') k |= kValueStop;
        classes[static_cast<size_t>(c)] = k;
    }
    return classes;
}
constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

// The three input encodings: how many bytes make one character and how they are combined.
struct Latin1 {
    static constexpr uint32_t kUnit = 1;
    static char16_t Load(const uint8_t* p) { return *p; }
    static uint8_t Class(char16_t c) { return kClasses[c]; }
};
struct Utf16LE {
    static constexpr uint32_t kUnit = 2;
    static char16_t Load(const uint8_t* p) { return static_cast<char16_t>(p[0] | (p[1] << 8)); }
    static uint8_t Class(char16_t c) { return c < 256 ? kClasses[c] : 0; }
};
struct Utf16BE {
    static constexpr uint32_t kUnit = 2;
    static char16_t Load(const uint8_t* p) { return static_cast<char16_t>((p[0] << 8) | p[1]); }
    static uint8_t Class(char16_t c) { return c < 256 ? kClasses[c] : 0; }
};

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int HexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Everything one parse needs: the input bytes in hand, the position bookkeeping and the fixed
// work buffers. Line and column are kept lazily (line feeds and carriage returns are counted as
// they are consumed, the column is worked out from the byte offset) and copied to the callback
// before every event, so the hot loops do no per-character bookkeeping.
struct ReaderCore {
    ISAXCallback* cb = nullptr;
    int fd = -1;  // the file being read, or -1 for a memory buffer
    bool input_ended = false;
    bool read_failed = false;
    size_t read_size = kBlockSize;   // bytes asked of the file per block
    const uint8_t* begin = nullptr;  // first byte in hand
    const uint8_t* p = nullptr;      // next byte to read
    const uint8_t* end = nullptr;    // one past the last byte in hand
    uint64_t begin_offset = 0;       // offset of `begin` in the input
    uint32_t unit = 1;               // bytes per character
    uint32_t line = 1;
    uint64_t line_start = 0;  // offset of the first character of the current line
    uint32_t line_crs = 0;    // carriage returns consumed on the current line
    uint32_t len = 0;         // characters in `work`
    int32_t result = kSAXOk;
    char16_t work[kWorkSize];
    SAXAttribute attributes[kMaxAttributes];
    uint8_t block[kBlockSize];

    void Start(ISAXCallback* callback, const std::string& name) {
        cb = callback;
        fd = -1;
        input_ended = read_failed = false;
        begin = p = end = block;
        begin_offset = 0;
        unit = 1;
        line = 1;
        line_start = 0;
        line_crs = 0;
        len = 0;
        result = kSAXOk;
        cb->file_name = name;
        cb->line = 1;
        cb->column = 0;
    }

    uint64_t Offset() const { return begin_offset + static_cast<uint64_t>(p - begin); }

    void Sync() {
        cb->line = line;
        cb->column = static_cast<uint32_t>((Offset() - line_start) / unit - line_crs);
    }

    // Reads the next block of the file; false at the end of the input. A UTF-16 block holds
    // whole characters, and so does the first block, which must show the encoding.
    bool Refill(bool first = false) {
        if (fd < 0 || input_ended) return false;
        begin_offset += static_cast<uint64_t>(end - begin);
        size_t want = read_size;
        if (first || unit == 2) want = std::max<size_t>((want + 1) & ~size_t{1}, 2);
        size_t n = 0;
        while (n < want) {
            const ssize_t r = ::read(fd, block + n, want - n);
            if (r > 0) {
                n += static_cast<size_t>(r);
            } else if (r < 0 && errno == EINTR) {
                continue;
            } else {
                read_failed = r < 0;
                input_ended = true;
                break;
            }
        }
        if (unit == 2) n &= ~size_t{1};  // a lone last byte is half a character: dropped
        begin = p = block;
        end = block + n;
        return n > 0;
    }

    // A negative status refuses: the reading stops without an Error call.
    bool Check(int32_t status) {
        if (status >= 0) return true;
        result = kSAXRefused;
        return false;
    }

    bool Report(int32_t code, const char* message) {
        Sync();
        cb->Error(static_cast<uint32_t>(code), message);
        result = code;
        return false;
    }

    __attribute__((format(printf, 2, 3))) bool Fault(const char* format, ...) {
        char message[kMessageSize];
        va_list args;
        va_start(args, format);
        std::vsnprintf(message, sizeof message, format, args);
        va_end(args);
        return Report(kSAXSyntaxError, message);
    }

    bool EofFault() {
        if (read_failed) return Report(kSAXFileError, "Error reading file");
        return Fault("Unexpected EOF while parsing XML file");
    }
};

// The document grammar over one encoding. Every step returns false once the reading has to
// stop (fault or refusal); the reason is in ReaderCore::result.
template <class Enc>
class Parser {
  public:
    explicit Parser(ReaderCore& s) : s_(s) {}

    bool Document() {
        bool text = false;  // the run holds a character other than white space
        s_.len = 0;
        for (;;) {
            if (s_.len == kWorkSize && !FlushText(text, true)) return false;
            ScanText(text);
            if (s_.len == kWorkSize) continue;
            const int c = Peek();
            if (c == kEof) return EndOfInput(text);
            // The scan stopped at the end of the bytes in hand and a new block begins with
            // ordinary text: scan on, so that the run is marked as text like any other.
            if (!(Enc::Class(static_cast<char16_t>(c)) & kTextStop)) continue;
            Skip(c);
            if (c == '<') {
                if (!FlushText(text, false) || !Markup()) return false;
                s_.len = 0;
            } else if (c == '&') {
                const int ch = Entity();
                if (ch < 0) return false;
                s_.work[s_.len++] = static_cast<char16_t>(ch);
                text |= !IsSpace(ch);
            } else {
                s_.work[s_.len++] = static_cast<char16_t>(c);  // line feed or carriage return
            }
        }
    }

  private:
    static constexpr uint32_t U = Enc::kUnit;

    int Peek() {
        if (s_.p == s_.end && !s_.Refill()) return kEof;
        return Enc::Load(s_.p);
    }

    // Consumes the character Peek returned.
    void Skip(int c) {
        s_.p += U;
        if (c == '\n') {
            ++s_.line;
            s_.line_start = s_.Offset();
            s_.line_crs = 0;
        } else if (c == '\r') {
            ++s_.line_crs;
        }
    }

    int Get() {
        const int c = Peek();
        if (c != kEof) Skip(c);
        return c;
    }

    bool Event(int32_t status) { return s_.Check(status); }

    // Copies characters into the work buffer while `keep` accepts their class, up to the end of
    // the bytes in hand or a full buffer. These are the hot loops: one load, one table look-up
    // and one store per character. True when every character copied was white space.
    template <class Keep>
    bool CopyWhile(Keep keep) {
        const uint8_t* p = s_.p;
        const size_t room = static_cast<size_t>(kWorkSize - s_.len) * U;
        const uint8_t* const stop = static_cast<size_t>(s_.end - p) < room ? s_.end : p + room;
        char16_t* const work = s_.work;
        uint32_t len = s_.len;
        uint8_t common = kSpace;
        while (p < stop) {
            const char16_t c = Enc::Load(p);
            const uint8_t k = Enc::Class(c);
            if (!keep(k)) break;
            work[len++] = c;
            common &= k;
            p += U;
        }
        s_.p = p;
        s_.len = len;
        return common != 0;
    }

    // Ordinary text up to markup, a line character, the end of the block or a full buffer.
    void ScanText(bool& text) {
        if (!CopyWhile([](uint8_t k) { return !(k & kTextStop); })) text = true;
    }

    bool FlushText(bool& text, bool continued) {
        const bool deliver = text && s_.len > 0;
        text = false;
        const uint32_t len = s_.len;
        s_.len = 0;
        if (!deliver) return true;
        s_.Sync();
        return Event(s_.cb->Characters(s_.work, len, continued));
    }

    bool EndOfInput(bool text) {
        if (s_.read_failed) return s_.EofFault();
        if (!FlushText(text, false)) return false;
        s_.Sync();
        return Event(s_.cb->EndDocument());
    }

    // After "<".
    bool Markup() {
        int c = Get();
        switch (c) {
            case kEof:
                return s_.EofFault();
            case '?':
                return SkipTo('>');
            case '/':
                return EndTag();
            case '!':
                break;
            default:
                return StartTag(c);
        }
        c = Get();
        if (c == '-') {
            c = Get();
            if (c == kEof) return s_.EofFault();
            if (c != '-') return s_.Fault("Expecting '-' after '<!-'");
            return Comment();
        }
        if (c == '[') {
            for (const char* expected = "CDATA["; *expected != 0; ++expected) {
                c = Get();
                if (c == kEof) return s_.EofFault();
                if (c != *expected) return s_.Fault("Expecting '<![CDATA['");
            }
            return CData();
        }
        if (c == kEof) return s_.EofFault();
        return s_.Fault("Expecting '<![CDATA['");
    }

    bool SkipTo(int stop) {
        for (;;) {
            const int c = Get();
            if (c == kEof) return s_.EofFault();
            if (c == stop) return true;
        }
    }

    // The three-state count: "-" steps 0, 1, 2 and back to 0; ">" ends the comment in state 2.
    bool Comment() {
        int state = 0;
        for (;;) {
            const int c = Get();
            if (c == kEof) return s_.EofFault();
            if (c == '>' && state == 2) return true;
            state = c == '-' ? (state + 1) % 3 : 0;
        }
    }

    // CDATA content goes out in chunks of the work buffer. Trailing "]" characters that may
    // still turn out to be the closing "]]>" are kept back from a full chunk, so that no chunk
    // ever carries part of the terminator.
    bool CData() {
        s_.Sync();
        if (!Event(s_.cb->StartCDATA())) return false;
        s_.len = 0;
        int state = 0;
        for (;;) {
            const int c = Get();
            if (c == kEof) return s_.EofFault();
            if (c == '>' && state == 2) break;
            state = c == ']' ? (state + 1) % 3 : 0;
            s_.work[s_.len++] = static_cast<char16_t>(c);
            if (s_.len == kWorkSize) {
                const uint32_t held = static_cast<uint32_t>(state);
                s_.Sync();
                if (!Event(s_.cb->CDATAText(s_.work, kWorkSize - held, true))) return false;
                for (uint32_t i = 0; i < held; ++i) s_.work[i] = u']';
                s_.len = held;
            }
        }
        s_.Sync();
        if (!Event(s_.cb->CDATAText(s_.work, s_.len - 2, false))) return false;
        s_.len = 0;
        return Event(s_.cb->EndCDATA());
    }

    // Adds one character to the tag in the work buffer.
    bool Store(int c) {
        if (s_.len == kWorkSize) {
            return s_.Fault("Total element tag size may not be more than %d characters",
                            static_cast<int>(kWorkSize));
        }
        s_.work[s_.len++] = static_cast<char16_t>(c);
        return true;
    }

    // A name into the work buffer; `first` has been consumed already.
    bool Name(int first) {
        if (first == kEof) return s_.EofFault();
        if (!(Enc::Class(static_cast<char16_t>(first)) & kNameStart)) {
            return s_.Fault("Names must start with an alphabetic character or _ or :");
        }
        if (!Store(first)) return false;
        for (;;) {
            CopyWhile([](uint8_t k) { return (k & kNameChar) != 0; });
            const int c = Peek();
            if (c == kEof || !(Enc::Class(static_cast<char16_t>(c)) & kNameChar)) return true;
            Skip(c);  // the name goes on in the next block, or no longer fits
            if (!Store(c)) return false;
        }
    }

    // Skips white space and returns the next character without consuming it.
    int SkipSpace() {
        for (;;) {
            const int c = Peek();
            if (c == kEof || !(Enc::Class(static_cast<char16_t>(c)) & kSpace)) return c;
            Skip(c);
        }
    }

    // The next character after optional white space, consumed.
    int GetAfterSpace() {
        const int c = SkipSpace();
        if (c != kEof) Skip(c);
        return c;
    }

    bool StartTag(int first) {
        s_.len = 0;
        if (!Name(first)) return false;
        const uint32_t name_length = s_.len;
        uint32_t count = 0;
        bool empty = false;
        for (;;) {
            int c = GetAfterSpace();
            if (c == kEof) return s_.EofFault();
            if (c == '>') break;
            if (c == '/') {
                c = Get();
                if (c == kEof) return s_.EofFault();
                if (c != '>') return s_.Fault("Expecting '>' after '/' in element tag");
                empty = true;
                break;
            }
            if (count == kMaxAttributes) {
                return s_.Fault("Elements may not have more than %d attributes",
                                static_cast<int>(kMaxAttributes));
            }
            const uint32_t name_at = s_.len;
            if (!Name(c)) return false;
            const uint32_t attribute_name_length = s_.len - name_at;
            c = GetAfterSpace();
            if (c == kEof) return s_.EofFault();
            if (c != '=') return s_.Fault("Expecting '=' character after attribute name");
            c = GetAfterSpace();
            if (c == kEof) return s_.EofFault();
            if (c != '"' && c != '\'') {
                return s_.Fault("Attribute values must be enclosed in quotes");
            }
            const uint32_t value_at = s_.len;
            if (!Value(c)) return false;
            s_.attributes[count++] = SAXAttribute{s_.work + name_at, attribute_name_length,
                                                  s_.work + value_at, s_.len - value_at};
        }
        s_.Sync();
        if (!Event(s_.cb->StartElement(s_.work, name_length, s_.attributes, count))) {
            return false;
        }
        return !empty || Event(s_.cb->EndElement(s_.work, name_length));
    }

    // An attribute value after its opening quote, up to and including the closing one.
    bool Value(int quote) {
        for (;;) {
            CopyWhile([](uint8_t k) { return !(k & kValueStop); });
            const int c = Get();
            if (c == kEof) return s_.EofFault();
            if (c == quote) return true;
            if (c == '<') return s_.Fault("Illegal character '<' in element tag");
            if (c == '&') {
                const int ch = Entity();
                if (ch < 0 || !Store(ch)) return false;
            } else if (!Store(c)) {
                return false;
            }
        }
    }

    bool EndTag() {
        s_.len = 0;
        if (!Name(Get())) return false;
        s_.Sync();
        if (!Event(s_.cb->EndElement(s_.work, s_.len))) return false;
        const int c = GetAfterSpace();
        if (c == kEof) return s_.EofFault();
        if (c != '>') return s_.Fault("Expecting '>' after name for closing entity reference");
        return true;
    }

    // After "&": the character the reference stands for, or -1 when the reading has to stop.
    int Entity() {
        int c = Get();
        if (c == kEof) return Stop(s_.EofFault());
        if (c == '#') {
            c = Get();
            const bool hex = c == 'x';
            if (hex) c = Get();
            uint32_t code = 0;
            for (;; c = Get()) {
                if (c == kEof) return Stop(s_.EofFault());
                if (c == ';') return static_cast<int>(code);
                const int digit = hex ? HexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
                if (digit < 0) {
                    return Stop(hex ? s_.Fault("Expected hex digit as part of &#x escape sequence")
                                    : s_.Fault("Expected decimal digit as part of &# escape "
                                               "sequence"));
                }
                code = (code * (hex ? 16 : 10) + static_cast<uint32_t>(digit)) & 0xFFFF;
            }
        }
        if (!(Enc::Class(static_cast<char16_t>(c)) & kNameStart)) {
            return Stop(s_.Fault("Names must start with an alphabetic character or _ or :"));
        }
        // Only the first five characters matter: no predefined name is longer.
        char name[5];
        size_t length = 0;
        for (;;) {
            if (length < sizeof name) name[length] = static_cast<char>(c);
            ++length;
            c = Peek();
            if (c == kEof) return Stop(s_.EofFault());
            if (!(Enc::Class(static_cast<char16_t>(c)) & kNameChar)) break;
            Skip(c);
        }
        const int ch = Predefined(name, length);
        if (ch < 0) {
            return Stop(s_.Fault(
                "Unrecognized entity name after & - (should be lt, gt, amp, apos, or quot)"));
        }
        c = Get();
        if (c == kEof) return Stop(s_.EofFault());
        if (c != ';') return Stop(s_.Fault("Expected terminating ; for entity reference"));
        return ch;
    }

    static int Stop(bool) { return -1; }

    static int Predefined(const char* name, size_t length) {
        const std::string_view text(name, length <= 5 ? length : 0);
        if (text == "lt") return '<';
        if (text == "gt") return '>';
        if (text == "amp") return '&';
        if (text == "apos") return '\'';
        if (text == "quot") return '"';
        return -1;
    }

    ReaderCore& s_;
};

enum class Encoding { kLatin1, kUtf16LE, kUtf16BE };

}  // namespace

struct SAXReader::State : ReaderCore {};

SAXReader::SAXReader() : state_(new State) {}

SAXReader::~SAXReader() {
    delete state_;
}

void SAXReader::SetBlockSize(size_t bytes) {
    state_->read_size = std::clamp<size_t>(bytes, 1, kBlockSize);
}

namespace {

// Reads a document whose first bytes are in hand: detects the encoding, then runs the grammar.
int32_t Run(ReaderCore& s) {
    s.Sync();
    if (!s.Check(s.cb->StartDocument())) return s.result;
    if (s.fd >= 0) s.Refill(true);
    const size_t available = static_cast<size_t>(s.end - s.p);
    const int b0 = available > 0 ? s.p[0] : -1;
    const int b1 = available > 1 ? s.p[1] : -1;
    Encoding encoding = Encoding::kLatin1;
    size_t skip = 0;
    if (b0 == 0xFF && b1 == 0xFE) {
        encoding = Encoding::kUtf16LE;
        skip = 2;
    } else if (b0 == 0xFE && b1 == 0xFF) {
        encoding = Encoding::kUtf16BE;
        skip = 2;
    } else if (b0 == 0x3C && b1 == 0x00) {
        encoding = Encoding::kUtf16LE;
    } else if (b0 == 0x00 && b1 == 0x3C) {
        encoding = Encoding::kUtf16BE;
    } else if (b0 != 0x3C) {
        if (s.read_failed) {
            s.EofFault();
            return s.result;
        }
        s.Fault("Unrecognized encoding (parser does not support UTF-8 language encodings)");
        return s.result;
    }
    s.p += skip;
    if (encoding != Encoding::kLatin1) {
        s.unit = 2;
        s.end = s.p + (static_cast<size_t>(s.end - s.p) & ~size_t{1});
    }
    s.line_start = s.Offset();
    switch (encoding) {
        case Encoding::kLatin1:
            Parser<Latin1>(s).Document();
            break;
        case Encoding::kUtf16LE:
            Parser<Utf16LE>(s).Document();
            break;
        case Encoding::kUtf16BE:
            Parser<Utf16BE>(s).Document();
            break;
    }
    return s.result;
}

// Closes the file and clears the file name however the reading ended.
struct FileGuard {
    ReaderCore& s;
    ~FileGuard() {
        if (s.fd >= 0) ::close(s.fd);
        s.fd = -1;
        s.cb->file_name.clear();
    }
};

}  // namespace

int32_t SAXReader::ParseFile(const std::string& path) {
    if (callback_ == nullptr) return kSAXNoCallback;
    ReaderCore& s = *state_;
    s.Start(callback_, path);
    FileGuard guard{s};
    s.fd = platform::OpenFile(path, O_RDONLY);
    bool regular = false;
    if (s.fd < 0 || platform::FileSize(s.fd, &regular) < 0 || !regular) {
        s.Report(kSAXFileError, "Error opening file");
        return s.result;
    }
    return Run(s);
}

int32_t SAXReader::ParseBuffer(const void* data, size_t size, const std::string& name) {
    if (callback_ == nullptr) return kSAXNoCallback;
    ReaderCore& s = *state_;
    s.Start(callback_, name);
    FileGuard guard{s};
    if (size > 0) {
        s.begin = s.p = static_cast<const uint8_t*>(data);
        s.end = s.begin + size;
    }
    return Run(s);
}

}  // namespace korvit::definition::xml
