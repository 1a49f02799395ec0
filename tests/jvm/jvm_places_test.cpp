// Where the host looks for the JVM's library, in order, on this system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "jvm/detail/jvm_places.hpp"
#include "platform/platform.h"

namespace {

using ub::detail::jvm_library_places;

// Sets JAVA_HOME for one test ("" takes it away on Windows, leaves it
// empty on POSIX: either way no place).
void set_java_home(const char *value)
{
    static std::string setting; // putenv keeps the text itself
    setting = std::string("JAVA_HOME=") + value;
    putenv(setting.data());
}

TEST(JvmPlaces, JavaHomeFirstAndNamedEveryPlaceAFullPath)
{
    const char *saved = std::getenv("JAVA_HOME");
    std::string before = saved != nullptr ? saved : "";
    const std::string home =
        std::string(PLATFORM_PATH_DRIVES ? "C:" : "") + PLATFORM_PATH_SEP_STR + "jdk";
    set_java_home(home.c_str());
    auto places = jvm_library_places("/opt/build-jdk");
    ASSERT_GE(places.size(), 3U);
    EXPECT_TRUE(places[0].named);
    EXPECT_EQ(places[0].path.rfind(home + PLATFORM_PATH_SEP_STR, 0), 0U) << places[0].path;
    for (const auto &place : places)
        EXPECT_NE(place.path.find(PLATFORM_PATH_SEP), std::string::npos) << place.path;

    // Without JAVA_HOME nor a build JDK, only the system's own places stay.
    set_java_home("");
    auto fewer = jvm_library_places("");
    EXPECT_LT(fewer.size(), places.size());
    for (const auto &place : fewer)
        EXPECT_EQ(place.path.find(home), std::string::npos) << place.path;
    set_java_home(before.c_str());
}

} // namespace
