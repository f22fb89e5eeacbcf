#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

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

TEST(Equation, PrecedenceAndLeftAssociativity) {
    EXPECT_DOUBLE_EQ(Eval("2#3#2"), 64.0);
    EXPECT_DOUBLE_EQ(Eval("2*3#2"), 36.0);
    EXPECT_DOUBLE_EQ(Eval("8-2-1"), 5.0);
    EXPECT_DOUBLE_EQ(Eval("7%4*2"), 7.0);
    EXPECT_DOUBLE_EQ(Eval("1+2<4"), 1.0);
    EXPECT_DOUBLE_EQ(Eval("2+3&6"), 4.0);  // (2+3)&6: bitwise binds less than +
    EXPECT_DOUBLE_EQ(Eval("(2+3)*2"), 10.0);
    EXPECT_DOUBLE_EQ(Eval("2+3*2"), 8.0);
}

TEST(Equation, IntegerAndComparisonOperators) {
    EXPECT_DOUBLE_EQ(Eval("7.9%2"), 1.0);
    EXPECT_DOUBLE_EQ(Eval("-7%2"), -1.0);
    EXPECT_DOUBLE_EQ(Eval("6^3"), 5.0);
    EXPECT_DOUBLE_EQ(Eval("6&3"), 2.0);
    EXPECT_DOUBLE_EQ(Eval("6|3"), 7.0);
    EXPECT_DOUBLE_EQ(Eval("3<4"), 1.0);
    EXPECT_DOUBLE_EQ(Eval("3>4"), 0.0);
    EXPECT_DOUBLE_EQ(Eval("X|1", 6.9), 7.0);             // truncated toward zero first
    EXPECT_DOUBLE_EQ(Eval("X%-1", -2147483648.0), 0.0);  // no overflow on the lowest integer
}

TEST(Equation, NegationAndSignedOperands) {
    EXPECT_DOUBLE_EQ(Eval("-X", 4), -4.0);
    EXPECT_DOUBLE_EQ(Eval("(-X)", 4), -4.0);
    EXPECT_DOUBLE_EQ(Eval("X*-2", 3), -6.0);
    EXPECT_DOUBLE_EQ(Eval("Y*-X", 3, 2), -6.0);
    // -3 substitutes as --3.000000: the first minus reads as an operator and the evaluation fails.
    EXPECT_DOUBLE_EQ(Eval("Y*-X", -3, 2), 0.0);
    EXPECT_EQ(Convert("X*+2"), ADXEquation::kBadOperand);
}

TEST(Equation, SubstitutionJoinsDigitsAndRoundsToSixDecimals) {
    EXPECT_DOUBLE_EQ(Eval("X*X", 3), 9.0);
    EXPECT_DOUBLE_EQ(Eval("2X", 3), 23.0);
    EXPECT_DOUBLE_EQ(Eval("X*1000000", 0.0000004), 0.0);
    EXPECT_DOUBLE_EQ(Eval("X*1000000", 0.0000006), 1.0);
    // Exponent notation does not exist: e is a variable (0.0) and 1e5 reads 10.000000... joined.
    EXPECT_DOUBLE_EQ(Eval("1e5"), 10.0000005);
}

TEST(Equation, FailuresGiveZeroAndLeftOverValuesGiveTheTop) {
    EXPECT_DOUBLE_EQ(Eval("X/0", 5), 0.0);
    EXPECT_DOUBLE_EQ(Eval("X/(Y-Y)", 5, 7), 0.0);
    EXPECT_DOUBLE_EQ(Eval("5%0.5"), 0.0);
    EXPECT_DOUBLE_EQ(Eval("1.2.3"), 0.0);
    EXPECT_DOUBLE_EQ(Eval("2(3)"), 3.0);
    EXPECT_DOUBLE_EQ(Eval(""), 0.0);
    EXPECT_DOUBLE_EQ(Eval("    "), 0.0);
    EXPECT_DOUBLE_EQ(Eval("()"), 0.0);
    EXPECT_DOUBLE_EQ(Eval("X*2", std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_DOUBLE_EQ(Eval("X+1", std::numeric_limits<double>::quiet_NaN()), 0.0);

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
    const char* equations[] = {"X*0.5+10",
                               "(X-40)*9/5+32",
                               "X",
                               "-X",
                               "X*-2",
                               "Y*-X",
                               "2X",
                               "X%3",
                               "X&Y|1",
                               "X<Y",
                               "X#2",
                               "X/Y",
                               "2(3)",
                               "X 1",
                               "1.2.3",
                               "X*1000000",
                               "(X+Y)*(X-Y)/7.25",
                               "X^-1",
                               "-.5*X",
                               ""};
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
