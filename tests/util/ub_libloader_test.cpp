// Filling function pointers from a shared library, and the log lines of
// each failure.
#include "util/vesk_utils.h"

#include <cstring>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"
#include "util/library_reason.h"

namespace {

namespace fs = std::filesystem;

class UbLibloader : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
    }

    std::vector<std::string> logged()
    {
        std::vector<std::string> lines;
        fs::path log = testing_support::todays_log(dir());
        for (const std::string &line : testing_support::read_lines(log))
            lines.push_back(line.substr(21));
        return lines;
    }
};

using unary = double (*)(double);

// A system library that exports cos and sqrt.
#if defined(_WIN32)
const char math_library[] = "msvcrt.dll";
#else
const char math_library[] = "libm.so.6";
#endif

TEST_F(UbLibloader, FillsEveryEntryInOrder)
{
    unary cosine = nullptr;
    unary root = nullptr;
    ub_libloader_entry entries[] = {{&cosine, "cos"}, {&root, "sqrt"}, {nullptr, nullptr}};
    ub_libloader_record record = {nullptr, entries};
    ASSERT_EQ(ub_libloader(math_library, &record), UB_LIBLOADER_OK);
    EXPECT_NE(record.module, nullptr);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(root(16.0), 4.0);
    EXPECT_TRUE(fs::is_empty("log"));
}

TEST_F(UbLibloader, OnlyTheTerminatingEntryLoadsTheLibrary)
{
    ub_libloader_entry entries[] = {{nullptr, nullptr}};
    ub_libloader_record record = {nullptr, entries};
    EXPECT_EQ(ub_libloader(math_library, &record), UB_LIBLOADER_OK);
    EXPECT_NE(record.module, nullptr);
}

TEST_F(UbLibloader, MissingProcedureKeepsTheEntriesBeforeIt)
{
    unary cosine = nullptr;
    unary missing = nullptr;
    ub_libloader_entry entries[] = {
        {&cosine, "cos"}, {&missing, "no_such_procedure"}, {nullptr, nullptr}};
    ub_libloader_record record = {nullptr, entries};
    EXPECT_EQ(ub_libloader(math_library, &record), UB_LIBLOADER_NO_PROCEDURE);
    EXPECT_NE(cosine, nullptr);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(logged(), std::vector<std::string>{
                            std::string("Metodo 'no_such_procedure' nao localizado em '") +
                            math_library + "'."});
}

TEST_F(UbLibloader, UnloadableLibraryIsLoggedWithItsErrorNumber)
{
    ub_libloader_record record = {reinterpret_cast<void *>(0x1), nullptr};
    EXPECT_EQ(ub_libloader("/no/such/library.so", &record), UB_LIBLOADER_NOT_LOADED);
    EXPECT_EQ(record.module, nullptr);
    std::vector<std::string> lines = logged();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Erro (", 0), 0u);
    EXPECT_NE(lines[0].find(") ao tentar carregar (/no/such/library.so)"), std::string::npos);
    EXPECT_EQ(ub_libloader(nullptr, &record), UB_LIBLOADER_NULL);
    EXPECT_EQ(ub_libloader(math_library, nullptr), UB_LIBLOADER_NULL);
}

// A failed load as the log words it, whichever system said what.
TEST(LibraryReason, WordsEachFailureAsTheLogDoes)
{
    const struct {
        int failure;
        int error;
        const char *text;
        const char *expected;
    } cases[] = {
        {PLATFORM_LIBRARY_MISSING, 2, "", "nao encontrado"},
        {PLATFORM_LIBRARY_FAILED, 0, "file too short", "file too short"},
        {PLATFORM_LIBRARY_FAILED, 6, "", "erro 6"},
        {PLATFORM_LIBRARY_BAD_FORMAT, 193, "",
         "erro 193 (biblioteca de 32/64 bits diferente do vesk.exe)"},
    };
    for (const auto &c : cases) {
        platform_library_why why{};
        why.failure = c.failure;
        why.error = c.error;
        std::strcpy(why.text, c.text);
        char reason[128] = "unset";
        ub_library_reason(&why, reason, sizeof reason);
        EXPECT_STREQ(reason, c.expected);
    }
    char cut[5] = "";
    platform_library_why why{PLATFORM_LIBRARY_FAILED, 6, ""};
    ub_library_reason(&why, cut, sizeof cut);
    EXPECT_STREQ(cut, "erro");
}

} // namespace
