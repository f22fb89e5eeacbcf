#include "definition/adx_commands.h"

namespace korvit::definition {
namespace {

void AssignBytes(std::vector<uint8_t>& bytes, const uint8_t* data, size_t size) {
    if (data == nullptr || size == 0) {
        bytes.clear();
        return;
    }
    bytes.assign(data, data + size);
}

}  // namespace

void ADXCSendCommand::SetBytes(const uint8_t* data, size_t size) {
    AssignBytes(bytes_, data, size);
}
void ADXCListenChatter::SetBytes(const uint8_t* data, size_t size) {
    AssignBytes(bytes_, data, size);
}

}  // namespace korvit::definition
