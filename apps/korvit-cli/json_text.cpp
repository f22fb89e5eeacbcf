#include "json_text.h"

#include <cfloat>
#include <charconv>
#include <cmath>

namespace korvit::cli {
namespace {

using json = nlohmann::ordered_json;

void AppendNumber(std::string& out, double d) {
    if (!std::isfinite(d)) {
        out += "null";  // as nlohmann writes it
        return;
    }
    char buf[64];
    const bool is_float =
        std::fabs(d) <= FLT_MAX && static_cast<double>(static_cast<float>(d)) == d;
    const auto end = is_float ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(d)).ptr
                              : std::to_chars(buf, buf + sizeof buf, d).ptr;
    const std::string_view text(buf, static_cast<size_t>(end - buf));
    out += text;
    // Keep the number a JSON number with a fraction, as nlohmann does: 1.0, not 1.
    if (text.find_first_of(".e") == std::string_view::npos) out += ".0";
}

void NewLine(std::string& out, int indent, int level) {
    if (indent < 0) return;
    out += '\n';
    out.append(static_cast<size_t>(indent * level), ' ');
}

void Append(std::string& out, const json& j, int indent, int level) {
    switch (j.type()) {
        case json::value_t::object: {
            if (j.empty()) {
                out += "{}";
                return;
            }
            out += '{';
            bool first = true;
            for (auto it = j.begin(); it != j.end(); ++it) {
                if (!first) out += ',';
                first = false;
                NewLine(out, indent, level + 1);
                out += json(it.key()).dump();
                out += indent < 0 ? ":" : ": ";
                Append(out, it.value(), indent, level + 1);
            }
            NewLine(out, indent, level);
            out += '}';
            return;
        }
        case json::value_t::array: {
            if (j.empty()) {
                out += "[]";
                return;
            }
            out += '[';
            bool first = true;
            for (const auto& item : j) {
                if (!first) out += ',';
                first = false;
                NewLine(out, indent, level + 1);
                Append(out, item, indent, level + 1);
            }
            NewLine(out, indent, level);
            out += ']';
            return;
        }
        case json::value_t::number_float:
            AppendNumber(out, j.get<double>());
            return;
        default:
            out += j.dump();
            return;
    }
}

}  // namespace

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string DumpJson(const json& j, int indent) {
    std::string out;
    Append(out, j, indent, 0);
    return out;
}

}  // namespace korvit::cli
