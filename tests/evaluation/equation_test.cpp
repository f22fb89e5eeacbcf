#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "evaluation/equation.h"

using korvit::evaluation::ADXEquation;

namespace {

/// Converts `text`, sets X and Y, and evaluates.
double Eval(const std::string& text, double x = 0.0, double y = 0.0) {
    ADXEquation eq;
    eq.SetEquation(text);
    eq.SetVariable('X', x);
    eq.SetVariable('Y', y);
    return eq.Evaluate();
}

int Convert(const std::string& text) {
    char out[400];
    return ADXEquation::ToPostfix(text, out, sizeof out);
}

}  // namespace

TEST(Equation, PostfixTextHasOneSpaceBeforeEveryToken) {
    ADXEquation eq;
    ASSERT_EQ(eq.SetEquation("X*0.5+10"), 1);
    EXPECT_EQ(eq.postfix(), " X 0.5 * 10 +");
    eq.SetVariable('X', 100);
    EXPECT_DOUBLE_EQ(eq.Evaluate(), 60.0);
    EXPECT_EQ(eq.substituted(), " 100.000000 0.5 * 10 +");

    ASSERT_EQ(eq.SetEquation("-X"), 1);
    EXPECT_EQ(eq.postfix(), " 0 X -");
    ASSERT_EQ(eq.SetEquation("  +5 "), 1);
    EXPECT_EQ(eq.postfix(), " 0 5 +");
}

// Equations with X and Y and their results; failures evaluate to 0.0.
struct Case {
    const char* text;
    double x, y, want;
};
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const Case kCases[] = {
    // Precedence, and left to right among equals.
    {"2#3#2", 0, 0, 64.0},
    {"2*3#2", 0, 0, 36.0},
    {"8-2-1", 0, 0, 5.0},
    {"7%4*2", 0, 0, 7.0},
    {"1+2<4", 0, 0, 1.0},
    {"2+3&6", 0, 0, 4.0},  // (2+3)&6: bitwise binds less than +
    {"(2+3)*2", 0, 0, 10.0},
    {"2+3*2", 0, 0, 8.0},
    // Integer and comparison operators truncate toward zero first.
    {"7.9%2", 0, 0, 1.0},
    {"-7%2", 0, 0, -1.0},
    {"6^3", 0, 0, 5.0},
    {"6&3", 0, 0, 2.0},
    {"6|3", 0, 0, 7.0},
    {"3<4", 0, 0, 1.0},
    {"3>4", 0, 0, 0.0},
    {"X|1", 6.9, 0, 7.0},
    {"X%-1", -2147483648.0, 0, 0.0},  // no overflow on the lowest integer
    // Negation and signed operands.
    {"-X", 4, 0, -4.0},
    {"(-X)", 4, 0, -4.0},
    {"X*-2", 3, 0, -6.0},
    {"Y*-X", 3, 2, -6.0},
    {"Y*-X", -3, 2, 0.0},  // -3 substitutes as --3.000000: the first minus is an operator
    // Substitution joins digits and rounds to six decimals; e is a variable, not an exponent.
    {"X*X", 3, 0, 9.0},
    {"2X", 3, 0, 23.0},
    {"X*1000000", 0.0000004, 0, 0.0},
    {"X*1000000", 0.0000006, 0, 1.0},
    {"1e5", 0, 0, 10.0000005},
    // Failures give 0.0; values left over give the top one.
    {"X/0", 5, 0, 0.0},
    {"X/(Y-Y)", 5, 7, 0.0},
    {"5%0.5", 0, 0, 0.0},
    {"1.2.3", 0, 0, 0.0},
    {"2(3)", 0, 0, 3.0},
    {"", 0, 0, 0.0},
    {"    ", 0, 0, 0.0},
    {"()", 0, 0, 0.0},
    {"X*2", kInf, 0, 0.0},
    {"X+1", kNaN, 0, 0.0},
};

TEST(Equation, EvaluatesByPrecedenceIntegerRulesAndSubstitution) {
    for (const Case& c : kCases) {
        EXPECT_DOUBLE_EQ(Eval(c.text, c.x, c.y), c.want) << c.text << " X=" << c.x << " Y=" << c.y;
    }
    EXPECT_EQ(Convert("X*+2"), ADXEquation::kBadOperand);

    double result = 0.0;
    EXPECT_EQ(ADXEquation::EvaluatePostfix(" 1 +", result), ADXEquation::kMissingOperand);
    EXPECT_EQ(ADXEquation::EvaluatePostfix(" 1 0 /", result), ADXEquation::kDivideByZero);
    EXPECT_EQ(ADXEquation::EvaluatePostfix(" 1.2.3", result), ADXEquation::kBadOperand);
    EXPECT_EQ(ADXEquation::EvaluatePostfix(" 1 2", result), ADXEquation::kLeftOver);
    EXPECT_DOUBLE_EQ(result, 2.0);
}

TEST(Equation, ConversionFailuresKeepThePreviousForm) {
    EXPECT_EQ(Convert("(X+1"), ADXEquation::kUnbalanced);
    EXPECT_EQ(Convert("X+1)"), ADXEquation::kUnbalanced);
    EXPECT_EQ(Convert("X!"), ADXEquation::kBadOperand);

    ADXEquation eq;
    ASSERT_EQ(eq.SetEquation("X+1"), 1);
    EXPECT_EQ(eq.SetEquation("(Y*2"), 0);
    EXPECT_EQ(eq.text(), "(Y*2");
    EXPECT_EQ(eq.postfix(), " X 1 +");
    EXPECT_EQ(eq.SetVariable('Y', 5), 0);
    EXPECT_EQ(eq.SetVariable('X', 5), 1);
    EXPECT_DOUBLE_EQ(eq.Evaluate(), 6.0);
}

TEST(Equation, VariablesAreCaseSensitiveAndSharedByEveryOccurrence) {
    ADXEquation eq;
    eq.SetEquation("X+x*X");
    EXPECT_EQ(eq.variable_count(), 3u);
    eq.SetVariable('X', 2);
    eq.SetVariable('x', 10);
    EXPECT_DOUBLE_EQ(eq.GetVariable('X'), 2.0);
    EXPECT_DOUBLE_EQ(eq.GetVariable('x'), 10.0);
    EXPECT_DOUBLE_EQ(eq.GetVariable('Q'), 0.0);
    EXPECT_DOUBLE_EQ(eq.Evaluate(), 22.0);
}

TEST(Equation, LengthGuards) {
    ADXEquation eq;
    const std::string long_text = "1+" + std::string(120, '1');
    eq.SetEquation(long_text);
    EXPECT_EQ(eq.text().size(), 99u);
    char buf[8];
    EXPECT_EQ(eq.GetEquation(buf, sizeof buf), 7u);
    EXPECT_STREQ(buf, "1+11111");

    // 33 letter occurrences are refused and the equation then evaluates to 0.0; 32 are kept.
    ASSERT_EQ(eq.SetEquation("X+1"), 1);
    EXPECT_EQ(eq.SetEquation(std::string(33, 'a')), 0);
    EXPECT_EQ(eq.variable_count(), 0u);
    eq.SetVariable('X', 1);
    EXPECT_DOUBLE_EQ(eq.Evaluate(), 0.0);
    EXPECT_DOUBLE_EQ(eq.Evaluate(ADXEquation::Frame{}), 0.0);
    EXPECT_EQ(eq.SetEquation(std::string(32, 'a')), 1);
    EXPECT_EQ(eq.variable_count(), 32u);

    // Values that make the substituted text longer than 99 characters are refused.
    ASSERT_EQ(eq.SetEquation("X+Y+X+Y"), 1);
    eq.SetVariable('X', 1);
    eq.SetVariable('Y', 2);
    EXPECT_DOUBLE_EQ(eq.Evaluate(), 6.0);
    eq.SetVariable('X', 1e20);
    eq.SetVariable('Y', 1e20);
    EXPECT_DOUBLE_EQ(eq.Evaluate(), 0.0);
}

TEST(Equation, FramesKeepEvaluationsApart) {
    ADXEquation eq;
    eq.SetEquation("X*10+Y");
    ADXEquation::Frame a;
    ADXEquation::Frame b;
    EXPECT_EQ(eq.SetVariable(a, 'X', 1), 1);
    eq.SetVariable(b, 'X', 2);
    eq.SetVariable(b, 'Y', 3);
    EXPECT_DOUBLE_EQ(eq.Evaluate(a), 10.0);
    EXPECT_DOUBLE_EQ(eq.Evaluate(b), 23.0);
    EXPECT_DOUBLE_EQ(eq.GetVariable('X'), 0.0);  // the equation's own frame is untouched
}

TEST(Equation, FrameEvaluationReadsAsTheSubstitutedText) {
    // The frame form reads pre-parsed steps; it must agree with substituting and reading the
    // text for every kind of equation and number.
    std::vector<const char*> equations = {
        "X*0.5+10", "(X-40)*9/5+32",    "X%3",  "X&Y|1", "X<Y", "X#2", "X/Y",
        "X 1",      "(X+Y)*(X-Y)/7.25", "X^-1", "-.5*X"};
    for (const Case& c : kCases) equations.push_back(c.text);
    const double numbers[] = {0.0,  100.0, -3.0,  0.0000004, 0.1234565, 1e12,
                              -1e9, 1e-7,  255.0, -0.5,      7.9999999, 3.0};
    for (const char* text : equations) {
        ADXEquation eq;
        eq.SetEquation(text);
        for (double x : numbers) {
            for (double y : {2.0, -0.25, 1e15}) {
                ADXEquation::Frame frame;
                eq.SetVariable(frame, 'X', x);
                eq.SetVariable(frame, 'Y', y);
                eq.SetVariable('X', x);
                eq.SetVariable('Y', y);
                const double by_text = eq.Evaluate();
                const double by_frame = eq.Evaluate(frame);
                if (std::isnan(by_text)) {
                    EXPECT_TRUE(std::isnan(by_frame)) << text << " X=" << x << " Y=" << y;
                } else {
                    EXPECT_EQ(by_frame, by_text) << text << " X=" << x << " Y=" << y;
                }
            }
        }
    }
}
