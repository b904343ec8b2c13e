#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/decimal_number.h"
#include "test_support.h"

using Platform::NumberReading;

TEST(DecimalNumber, IntegersStopAtTheFirstNonDigit) {
    const struct {
        const wchar_t* text;
        NumberReading status;
        int value;
    } cases[] = {
        {L"7", NumberReading::Value, 7},
        {L" \t\n-12abc", NumberReading::Value, -12},
        {L"+5", NumberReading::Value, 5},
        {L"es-ES", NumberReading::NoNumber, 0},
        {L"", NumberReading::NoNumber, 0},
        {L"-", NumberReading::NoNumber, 0},
        {L"+-1", NumberReading::NoNumber, 0},
        {L"2147483647", NumberReading::Value, 2147483647},
        {L"-2147483648", NumberReading::Value, -2147483647 - 1},
        {L"2147483648", NumberReading::OutOfRange, 0},
        {L"-2147483649", NumberReading::OutOfRange, 0},
        {L"99999999999999999999999999999", NumberReading::OutOfRange, 0},
        {L"0007", NumberReading::Value, 7},
        {L"3.9", NumberReading::Value, 3},
        {L"\u0663", NumberReading::NoNumber, 0},  // only ASCII digits are decimal digits here
    };
    for (const auto& c : cases) {
        const Platform::IntReading reading = Platform::ReadLeadingInt(c.text);
        EXPECT_EQ(reading.status, c.status) << "text " << static_cast<const void*>(c.text);
        EXPECT_EQ(reading.value, c.value);
    }
}

TEST(DecimalNumber, DoublesReadOnlyDecimalForms) {
    const struct {
        const wchar_t* text;
        NumberReading status;
        double value;
    } cases[] = {
        {L"0.7", NumberReading::Value, 0.7},
        {L"0.5abc", NumberReading::Value, 0.5},
        {L"  -.25", NumberReading::Value, -0.25},
        {L"5.", NumberReading::Value, 5.0},
        {L"1e3x", NumberReading::Value, 1000.0},
        {L"1E-2", NumberReading::Value, 0.01},
        {L"2e", NumberReading::Value, 2.0},
        {L"2e+", NumberReading::Value, 2.0},
        {L"abc", NumberReading::NoNumber, 0.0},
        {L".", NumberReading::NoNumber, 0.0},
        {L"-", NumberReading::NoNumber, 0.0},
        {L"inf", NumberReading::NoNumber, 0.0},
        {L"nan", NumberReading::NoNumber, 0.0},
        {L"0x1p3", NumberReading::Value, 0.0},  // reads the "0" only
        {L"1e999", NumberReading::OutOfRange, 0.0},
        {L"-1e999", NumberReading::OutOfRange, 0.0},
        {L"1e-999", NumberReading::Value, 0.0},
        {L"1e99999999999999999999", NumberReading::OutOfRange, 0.0},
    };
    for (const auto& c : cases) {
        const Platform::DoubleReading reading = Platform::ReadLeadingDouble(c.text);
        EXPECT_EQ(reading.status, c.status);
        EXPECT_DOUBLE_EQ(reading.value, c.value);
        EXPECT_TRUE(std::isfinite(reading.value));
    }
}

// A process that takes its locale from the user (a German one writes "0,5") must still
// read "0.5" as a half, and an overflow must still be told from an underflow. The German
// locale is compiled into the test's private folder when the system has none installed.
TEST(DecimalNumber, ReadingDoesNotDependOnTheLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        const std::string folder = TestSupport::MakeFolder("locales");
        ASSERT_EQ(std::system(("localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' 2>/dev/null").c_str()), 0)
            << "cannot compile a German locale (Debian package locales)";
        setenv("LOCPATH", folder.c_str(), 1);
        ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    }
    ASSERT_EQ(std::strtod("0,5", nullptr), 0.5) << "the locale in force does not use a decimal comma";
    EXPECT_DOUBLE_EQ(Platform::ReadLeadingDouble(L"0.5").value, 0.5);
    EXPECT_EQ(Platform::ReadLeadingDouble(L"1.5e999").status, NumberReading::OutOfRange);
    EXPECT_EQ(Platform::ReadLeadingDouble(L"1.5e-999").status, NumberReading::Value);
    std::setlocale(LC_NUMERIC, saved.c_str());
}
