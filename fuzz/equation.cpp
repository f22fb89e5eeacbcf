// Equations from arbitrary bytes: conversion and evaluation must never fault, and the step form
// must give the same number as substituting and reading the text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "evaluation/equation.h"

using korvit::evaluation::ADXEquation;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first 16 bytes give X and Y; the rest is the equation text.
    double x = 0.0;
    double y = 0.0;
    if (size >= 16) {
        std::memcpy(&x, data, 8);
        std::memcpy(&y, data + 8, 8);
        data += 16;
        size -= 16;
    }
    ADXEquation eq;
    eq.SetEquation(std::string_view(reinterpret_cast<const char*>(data), size));
    ADXEquation::Frame frame;
    for (char letter : {'X', 'Y', 'e', 'a'}) {
        const double v = letter == 'X' ? x : letter == 'Y' ? y : 1.5;
        eq.SetVariable(frame, letter, v);
        eq.SetVariable(letter, v);
    }
    const double by_frame = eq.Evaluate(frame);
    const double by_text = eq.Evaluate();
    if (std::isnan(by_frame) != std::isnan(by_text)) __builtin_trap();
    if (!std::isnan(by_text) && by_frame != by_text) __builtin_trap();
    if (eq.substituted().size() > 99 || eq.postfix().size() > 99) __builtin_trap();
    return 0;
}
