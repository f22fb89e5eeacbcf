#include "evaluation/equation.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "evaluation/numeric.h"

namespace korvit::evaluation {
namespace {

constexpr size_t kMaxChars = ADXEquation::kTextCapacity - 1;

// The operator table: the first matching character gives the operator; precedence by index.
constexpr std::string_view kOperators = "#*/%-+^&|<>";
constexpr int kPrecedence[] = {19, 19, 19, 18, 16, 16, 15, 15, 15, 13, 13};

// Plain ASCII classes, independent of the process locale (the GUI sets one from the
// environment).
bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsOperandChar(char c) {
    return IsLetter(c) || IsDigit(c) || c == '.';
}
bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/// 1-based index in the operator table, 0 when `c` is not an operator.
int OperatorIndex(char c) {
    if (c == '\0') return 0;
    const size_t at = kOperators.find(c);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}
int Precedence(char op) {
    return kPrecedence[OperatorIndex(op) - 1];
}

/// Characters from the start of `s` that form one operand: operand characters, the first of
/// which may also be a minus sign.
size_t OperandLength(std::string_view s) {
    size_t n = 0;
    while (n < s.size() && (IsOperandChar(s[n]) || (n == 0 && s[n] == '-'))) ++n;
    return n;
}

/// Bounded output text: tokens are appended with one leading space and cut at the capacity.
class Output {
  public:
    Output(char* buf, size_t capacity) : buf_(buf), capacity_(capacity) {
        if (capacity_ != 0) buf_[0] = '\0';
    }
    void Token(std::string_view token) {
        Put(' ');
        for (char c : token) Put(c);
    }
    bool empty() const { return length_ == 0; }

  private:
    void Put(char c) {
        if (length_ + 1 >= capacity_) return;
        buf_[length_++] = c;
        buf_[length_] = '\0';
    }
    char* buf_;
    size_t capacity_;
    size_t length_ = 0;
};

/// "%f" of a number, written without the process locale. A number that is not finite gets
/// the classic runtime's text ("1.#INF00", "1.#QNAN0"), whose '#' then reads as the power
/// operator so that such an evaluation fails instead of producing a number.
size_t FormatFixed6(double v, char* out, size_t capacity) {
    if (!std::isfinite(v)) {
        const std::string_view text = std::isnan(v) ? "1.#QNAN0" : v < 0 ? "-1.#INF00" : "1.#INF00";
        if (text.size() > capacity) return SIZE_MAX;
        std::memcpy(out, text.data(), text.size());
        return text.size();
    }
    return FormatFixed(v, 6, out, capacity);
}

/// a op b for the operator at table index `op`; false on division or remainder by zero.
bool Apply(int op, double a, double b, double& out) {
    switch (op) {
        case 1:
            out = std::pow(a, b);
            return true;
        case 2:
            out = a * b;
            return true;
        case 3:
            if (b == 0.0) return false;
            out = a / b;
            return true;
        case 4: {
            const int32_t ia = TruncToInt32(a);
            const int32_t ib = TruncToInt32(b);
            if (ib == 0) return false;
            out = ib == -1 ? 0.0 : static_cast<double>(ia % ib);  // -1 would overflow INT32_MIN
            return true;
        }
        case 5:
            out = a - b;
            return true;
        case 6:
            out = a + b;
            return true;
        case 7:
            out = static_cast<double>(TruncToInt32(a) ^ TruncToInt32(b));
            return true;
        case 8:
            out = static_cast<double>(TruncToInt32(a) & TruncToInt32(b));
            return true;
        case 9:
            out = static_cast<double>(TruncToInt32(a) | TruncToInt32(b));
            return true;
        case 10:
            out = a < b ? 1.0 : 0.0;
            return true;
        default:
            out = a > b ? 1.0 : 0.0;
            return true;
    }
}

}  // namespace

int ADXEquation::SetEquation(const char* text) {
    return SetEquation(text == nullptr ? std::string_view() : std::string_view(text));
}

int ADXEquation::SetEquation(std::string_view text) {
    text = text.substr(0, std::min(text.size(), kMaxChars));
    text_.fill('\0');
    std::memcpy(text_.data(), text.data(), text.size());

    std::array<char, 4 * kTextCapacity> converted{};
    if (ToPostfix(this->text(), converted.data(), converted.size()) != kOk) return 0;

    size_t letters = 0;
    for (size_t i = 0; i < kMaxChars && converted[i] != '\0'; ++i)
        letters += IsLetter(converted[i]);
    if (letters > kMaxVariables) {
        // Refused: an empty postfix form evaluates to 0.0.
        postfix_.fill('\0');
        variable_count_ = 0;
        frame_ = Frame{};
        Compile();
        return 0;
    }
    postfix_.fill('\0');
    std::memcpy(postfix_.data(), converted.data(), kMaxChars);
    variable_count_ = 0;
    for (size_t i = 0; postfix_[i] != '\0'; ++i) {
        if (IsLetter(postfix_[i])) names_[variable_count_++] = postfix_[i];
    }
    frame_ = Frame{};
    Compile();
    return 1;
}

void ADXEquation::Compile() {
    compiled_ = false;
    step_count_ = 0;
    fixed_length_ = 0;
    const std::string_view text = postfix();
    size_t slot = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            ++fixed_length_;
            continue;
        }
        size_t end = i;
        while (end < text.size() && text[end] != ' ') ++end;
        const std::string_view token = text.substr(i, end - i);
        Step step;
        if (token.size() == 1 && OperatorIndex(token[0]) != 0) {
            step.kind = Step::kOperator;
            step.index = static_cast<uint8_t>(OperatorIndex(token[0]));
            ++fixed_length_;
        } else if (token.size() == 1 && IsLetter(token[0])) {
            step.kind = Step::kVariable;
            step.index = static_cast<uint8_t>(slot++);
        } else {
            // A plain number: digits and points, with a minus sign only before a digit.
            const bool signed_number = token[0] == '-' && token.size() > 1 && IsDigit(token[1]);
            for (size_t k = signed_number ? 1 : 0; k < token.size(); ++k) {
                if (!IsDigit(token[k]) && token[k] != '.') return;
            }
            const auto [stop, ec] =
                std::from_chars(token.data(), token.data() + token.size(), step.number);
            if (ec != std::errc() || stop != token.data() + token.size()) return;
            fixed_length_ += token.size();
        }
        if (step_count_ == kMaxSteps) return;
        steps_[step_count_++] = step;
        i = end;
    }
    compiled_ = true;
}

bool ADXEquation::EvaluateSteps(const Frame& frame, double& result) const {
    // Each variable enters as its "%f" text reads back; the whole text must fit in 99 chars.
    std::array<double, kMaxVariables> numbers;
    size_t length = fixed_length_;
    for (size_t i = 0; i < variable_count_; ++i) {
        const double v = frame.values[i];
        if (!std::isfinite(v)) return false;
        char text[kTextCapacity];
        const size_t n = FormatFixed(v, 6, text, sizeof text);
        length += n;
        if (n == SIZE_MAX || length > kMaxChars) {
            result = 0.0;
            return true;
        }
        std::from_chars(text, text + n, numbers[i]);
    }
    std::array<double, kMaxSteps> stack;
    size_t depth = 0;
    result = 0.0;
    for (size_t i = 0; i < step_count_; ++i) {
        const Step& step = steps_[i];
        if (step.kind == Step::kOperator) {
            if (depth < 2) return true;
            const double b = stack[--depth];
            const double a = stack[--depth];
            if (!Apply(step.index, a, b, stack[depth])) return true;
            ++depth;
        } else {
            stack[depth++] = step.kind == Step::kNumber ? step.number : numbers[step.index];
        }
    }
    if (depth != 0) result = stack[depth - 1];  // values left over: the top one
    return true;
}

size_t ADXEquation::GetEquation(char* buf, size_t size) const {
    if (buf == nullptr || size == 0) return 0;
    const std::string_view t = text();
    const size_t n = std::min(t.size(), size - 1);
    std::memcpy(buf, t.data(), n);
    buf[n] = '\0';
    return n;
}

int ADXEquation::SetVariable(Frame& frame, char letter, double value) const {
    int found = 0;
    for (size_t i = 0; i < variable_count_; ++i) {
        if (names_[i] == letter) {
            frame.values[i] = value;
            found = 1;
        }
    }
    return found;
}

int ADXEquation::SetVariable(char letter, double value) {
    return SetVariable(frame_, letter, value);
}

double ADXEquation::GetVariable(char letter) const {
    for (size_t i = 0; i < variable_count_; ++i) {
        if (names_[i] == letter) return frame_.values[i];
    }
    return 0.0;
}

double ADXEquation::Evaluate() {
    return EvaluateText(frame_, substituted_);
}

double ADXEquation::Evaluate(const Frame& frame) const {
    double result = 0.0;
    if (compiled_ && EvaluateSteps(frame, result)) return result;
    std::array<char, kTextCapacity> substituted;
    return EvaluateText(frame, substituted);
}

double ADXEquation::EvaluateText(const Frame& frame,
                                 std::array<char, kTextCapacity>& substituted) const {
    if (!Substitute(frame, substituted)) {
        substituted[0] = '\0';
        return 0.0;
    }
    double result = 0.0;
    const int code = EvaluatePostfix(substituted.data(), result);
    return code == kOk || code == kLeftOver ? result : 0.0;
}

int ADXEquation::ToPostfix(std::string_view text, char* out, size_t capacity) {
    Output output(out, capacity);
    std::array<char, kTextCapacity * 4> stack;  // operators and "("
    size_t depth = 0;
    bool last_was_operator = false;

    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (IsSpace(c)) {
            ++i;
        } else if (c == '(') {
            if (depth == stack.size()) return kUnbalanced;
            stack[depth++] = c;
            ++i;
        } else if (c == ')') {
            for (;;) {
                if (depth == 0) return kUnbalanced;
                const char top = stack[--depth];
                if (top == '(') break;
                output.Token(std::string_view(&top, 1));
            }
            ++i;
        } else if (OperatorIndex(c) == 0 || last_was_operator) {
            const size_t n = OperandLength(text.substr(i));
            if (n == 0) return kBadOperand;
            output.Token(text.substr(i, n));
            last_was_operator = false;
            i += n;
        } else {
            last_was_operator = true;
            if (output.empty()) output.Token("0");  // a leading -X is 0 - X
            while (depth != 0 && stack[depth - 1] != '(' &&
                   Precedence(stack[depth - 1]) >= Precedence(c)) {
                output.Token(std::string_view(&stack[--depth], 1));
            }
            if (depth == stack.size()) return kBadOperand;
            stack[depth++] = c;
            ++i;
        }
    }
    while (depth != 0) {
        const char top = stack[--depth];
        if (top == '(') return kUnbalanced;
        output.Token(std::string_view(&top, 1));
    }
    return kOk;
}

bool ADXEquation::Substitute(const Frame& frame, std::array<char, kTextCapacity>& out) const {
    size_t p = 0;
    size_t slot = 0;
    for (size_t i = 0; i < kMaxChars && postfix_[i] != '\0'; ++i) {
        const char c = postfix_[i];
        if (IsLetter(c)) {
            const double v = slot < variable_count_ ? frame.values[slot] : 0.0;
            ++slot;
            const size_t n = FormatFixed6(v, out.data() + p, kMaxChars - p);
            if (n == SIZE_MAX) return false;
            p += n;
        } else {
            if (p == kMaxChars) return false;
            out[p++] = c;
        }
    }
    out[p] = '\0';
    return true;
}

int ADXEquation::EvaluatePostfix(const char* text, double& result) {
    std::array<double, kTextCapacity> stack;
    size_t depth = 0;
    const std::string_view s(text);
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (IsSpace(c)) {
            ++i;
            continue;
        }
        const int op = OperatorIndex(c);
        if (op != 0 && !(i + 1 < s.size() && IsDigit(s[i + 1]))) {
            if (depth == 0) return kMissingOperand;
            const double b = stack[--depth];
            if (depth == 0) return kMissingOperand;
            const double a = stack[--depth];
            double value = 0.0;
            if (!Apply(op, a, b, value)) return kDivideByZero;
            stack[depth++] = value;
            ++i;
            continue;
        }
        const size_t n = OperandLength(s.substr(i));
        if (n == 0) return kBadOperand;
        double number = 0.0;
        const auto [end, ec] = std::from_chars(s.data() + i, s.data() + i + n, number);
        if (ec != std::errc() || end != s.data() + i + n) return kBadOperand;
        if (depth == stack.size()) return kBadOperand;
        stack[depth++] = number;
        i += n;
    }
    if (depth == 0) return kMissingOperand;
    result = stack[--depth];
    return depth == 0 ? kOk : kLeftOver;
}

}  // namespace korvit::evaluation
