#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "command_registry.h"
#include "decode_json.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "definition_json.h"
#include "evaluation/last_packet.h"
#include "json_text.h"

namespace korvit::cli {
namespace {

struct Reply {
    const definition::ADXCSendCommand* command = nullptr;
    std::vector<uint8_t> bytes;
};

/// Hexadecimal byte text: pairs of hex digits, optionally separated by spaces.
std::optional<std::vector<uint8_t>> ParseHex(const std::string& text) {
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) {
            if (c == ' ' && high < 0) continue;
            return std::nullopt;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0 || bytes.empty()) return std::nullopt;
    return bytes;
}

/// Reads every --reply ID=HEX first so that a bad one fails before anything is decoded.
std::optional<std::vector<Reply>> ParseReplies(const definition::ADXDefinition& def,
                                               const std::vector<std::string>& args,
                                               std::string& error) {
    std::vector<Reply> replies;
    for (const std::string& arg : args) {
        const size_t eq = arg.find('=');
        if (eq == std::string::npos) {
            error = "--reply \"" + arg + "\" is not of the form ID=HEX";
            return std::nullopt;
        }
        const std::string id = arg.substr(0, eq);
        Reply reply;
        reply.command = definition::As<definition::ADXCSendCommand>(def.FindByID(id));
        if (reply.command == nullptr) {
            error =
                "unknown command id \"" + id + "\": the definition has no send command of that id";
            return std::nullopt;
        }
        auto bytes = ParseHex(arg.substr(eq + 1));
        if (!bytes) {
            error = "malformed hex string \"" + arg.substr(eq + 1) + "\" for command \"" + id +
                    "\": expected pairs of hexadecimal digits";
            return std::nullopt;
        }
        reply.bytes = std::move(*bytes);
        replies.push_back(std::move(reply));
    }
    return replies;
}

/// The live reply path for one successful reply: the command's packet goes into LastPacket and
/// its values and bitmasks take their raw numbers from it.
void FeedReply(const definition::ADXDefinition& def, evaluation::LastPacket& last,
               const Reply& reply) {
    const auto& command = *reply.command;
    const std::string id(command.id());
    if ((command.flags & 1) == 0) {
        std::fprintf(stderr, "%s: Command sent. Reply not processed.\n", id.c_str());
        return;
    }
    const size_t count = reply.bytes.size();
    if (count != command.replysize) {
        std::fprintf(stderr, "%s: reply has %zu bytes, the command expects %u\n", id.c_str(), count,
                     command.replysize);
    }
    // The packet never reaches past the bytes given.
    const size_t offset = std::min<size_t>(command.packetoffset, count);
    const evaluation::Packet packet{reply.bytes.data() + offset,
                                    std::min<size_t>(command.packetsize, count - offset)};
    last.Store(packet.data, packet.size, command.idhash());
    def.ExtractCommandItems(packet, command.idhash());
}

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd = root.add_subcommand(
        "decode", "Feed replies through the reply path and print the decoded values and bitmasks");
    auto path = std::make_shared<std::string>();
    auto args = std::make_shared<std::vector<std::string>>();
    cmd->add_option("DEF", *path, "Definition file (.adx)")->required();
    cmd->add_option("--reply", *args, "ID=HEX: a reply of the send command with that id")
        ->required()
        ->allow_extra_args(false);
    cmd->callback([path, args, &exit_code] {
        definition::ADXDefinition def;
        std::string error;
        if (def.Load(*path, error) == 0) {
            exit_code = Fail(LoadFailureMessage(*path, error, def));
            return;
        }
        const auto replies = ParseReplies(def, *args, error);
        if (!replies) {
            exit_code = Fail(error);
            return;
        }
        evaluation::LastPacket last;
        for (const Reply& reply : *replies) FeedReply(def, last, reply);
        const std::string text = DumpJson(DecodedItemsToJson(def, last.Load()), 2);
        std::printf("%s\n", text.c_str());
        exit_code = 0;
    });
});

}  // namespace
}  // namespace korvit::cli
