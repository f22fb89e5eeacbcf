#include "definition/adx_histogram.h"

#include "definition/adx_value.h"

namespace korvit::definition {

void ADXHistogram::SetX(ADXObject* object) {
    if (auto* v = As<ADXValue>(object)) x_ = v;
}
void ADXHistogram::SetY(ADXObject* object) {
    if (auto* v = As<ADXValue>(object)) y_ = v;
}
void ADXHistogram::SetZ(ADXObject* object) {
    if (auto* v = As<ADXValue>(object)) z_ = v;
}

uint32_t ADXHistogram::GetHistorySize() const {
    std::lock_guard<std::mutex> guard(lock_);
    return historysize_;
}

}  // namespace korvit::definition
