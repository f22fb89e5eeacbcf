#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvit::evaluation {

/// The MATH equation of a value. The text is converted once into a postfix text of
/// space-separated tokens; every evaluation writes each letter's number into that text and
/// reads it back. The conversion is kept read-only after SetEquation, so evaluations that keep
/// their variables in their own EquationFrame may run on several threads at once.
class ADXEquation {
  public:
    static constexpr size_t kTextCapacity = 100;  // 99 characters and the terminator
    static constexpr size_t kMaxVariables = 32;   // letter occurrences in the postfix text

    /// Result codes of the conversion and of the evaluation.
    enum Result : int {
        kOk = 0,
        kUnbalanced = 1,      // ToPostfix: unbalanced parentheses
        kMissingOperand = 1,  // EvaluatePostfix: an operator found fewer than two values
        kBadOperand = 3,      // ToPostfix: bad operand; EvaluatePostfix: a token is not a number
        kLeftOver = 4,        // EvaluatePostfix: more than one value was left (top is the result)
        kDivideByZero = 5,
        kTooManyVariables = 6,  // more letters than the variable table holds
    };

    /// The numbers of one evaluation, one per variable slot. Kept by the caller (on its stack)
    /// so that concurrent evaluations of the same equation do not share working storage.
    struct Frame {
        std::array<double, kMaxVariables> values{};
    };

    /// Stores the text (cut to 99 characters) and converts it. 1 when converted; 0 when the
    /// conversion failed, in which case the previous postfix form and variables stay. An
    /// equation with more than 32 letters is refused and then evaluates to 0.0.
    int SetEquation(std::string_view text);
    int SetEquation(const char* text);
    /// Copies the text into buf (cut, terminated); returns the length copied.
    size_t GetEquation(char* buf, size_t size) const;
    std::string_view text() const { return std::string_view(text_.data()); }
    std::string_view postfix() const { return std::string_view(postfix_.data()); }
    /// Number of variable slots (letter occurrences in the postfix text) and their letters.
    size_t variable_count() const { return variable_count_; }
    char variable_name(size_t slot) const { return names_[slot]; }

    /// Sets the letter's number in the equation's own frame; 1 if the letter occurs.
    int SetVariable(char letter, double value);
    /// The letter's number in the equation's own frame; 0.0 if it does not occur.
    double GetVariable(char letter) const;
    /// Evaluates with the equation's own frame and keeps the substituted text. Not for use from
    /// two threads at once; the frame form below is.
    double Evaluate();
    std::string_view substituted() const { return std::string_view(substituted_.data()); }

    /// Frame forms of the above: they write only the caller's frame.
    int SetVariable(Frame& frame, char letter, double value) const;
    double Evaluate(const Frame& frame) const;

    /// Shunting-yard conversion of `text` into `out` (cut to its capacity, always terminated).
    static int ToPostfix(std::string_view text, char* out, size_t capacity);
    /// Writes the postfix text with every letter replaced by its number ("%f") into `out`.
    /// False when the result would not fit in 99 characters (the evaluation is then refused).
    bool Substitute(const Frame& frame, std::array<char, kTextCapacity>& out) const;
    /// Evaluates a substituted postfix text; `result` is the value on top of the stack.
    static int EvaluatePostfix(const char* text, double& result);

  private:
    /// The postfix form read once into steps, so that an evaluation parses only the numbers of
    /// its variables. Built only when the step form reads exactly as the text does (every token
    /// a lone operator, a lone letter or a plain number); otherwise evaluation goes by the text.
    struct Step {
        enum Kind : uint8_t { kNumber, kVariable, kOperator };
        Kind kind = kNumber;
        uint8_t index = 0;  // variable slot, or operator table index
        double number = 0.0;
    };
    static constexpr size_t kMaxSteps = kTextCapacity / 2;
    void Compile();
    /// False when the step form cannot stand in for the text (a number that is not finite).
    bool EvaluateSteps(const Frame& frame, double& result) const;
    double EvaluateText(const Frame& frame, std::array<char, kTextCapacity>& substituted) const;

    std::array<char, kTextCapacity> text_{};
    std::array<char, kTextCapacity> postfix_{};
    std::array<char, kTextCapacity> substituted_{};
    std::array<char, kMaxVariables> names_{};
    size_t variable_count_ = 0;
    Frame frame_;
    std::array<Step, kMaxSteps> steps_{};
    size_t step_count_ = 0;
    bool compiled_ = false;
    size_t fixed_length_ = 0;  // postfix characters that are not letters
};

}  // namespace korvit::evaluation
