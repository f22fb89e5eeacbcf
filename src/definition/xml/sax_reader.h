#pragma once

#include <cstdint>
#include <string>

#include "definition/xml/sax_callback.h"

namespace korvit::definition::xml {

/// Event-driven XML reader over fixed buffers: 8-bit text or UTF-16 in either byte order.
/// Checks only the lexical form and reports the first fault through the callback.
class SAXReader {
  public:
    SAXReader();
    ~SAXReader();
    SAXReader(const SAXReader&) = delete;
    SAXReader& operator=(const SAXReader&) = delete;

    void Attach(ISAXCallback* callback) { callback_ = callback; }
    /// Reads files in blocks of at most `bytes` (1 to 2048, the default); small blocks let tests
    /// put every character of a document at a block edge.
    void SetBlockSize(size_t bytes);

    /// Reads a whole document: 0, or kSAXFileError, kSAXSyntaxError, kSAXRefused, kSAXNoCallback.
    int32_t ParseFile(const std::string& path);
    /// Reads a document held in memory, with the same events and results (fuzzing, tests).
    int32_t ParseBuffer(const void* data, size_t size, const std::string& name = std::string());

  private:
    struct State;
    ISAXCallback* callback_ = nullptr;
    State* state_ = nullptr;
};

}  // namespace korvit::definition::xml
