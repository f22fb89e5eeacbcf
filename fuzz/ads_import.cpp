// Feeds arbitrary bytes through the ADS reader and the conversion into a definition.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "definition/adx_definition.h"
#include "definition/legacy/ads_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvit::definition;
    legacy::ALDLDefinition ads;
    legacy::ReadADSText(std::string_view(reinterpret_cast<const char*>(data), size), ads);
    ADXDefinition adx;
    legacy::ConvertToADX(&adx, &ads);
    return 0;
}
