#include "machine/w32_utils.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/verbose.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::write_file;

// Runs in a fresh directory with a log directory, and points the readers
// at fixture files there (written by each test; missing ones stay missing).
class Machine : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
        verbose_limit_set(0);
        cpuinfo_ = (dir() / "cpuinfo").string();
        issue_ = (dir() / "issue").string();
        machine_id_ = (dir() / "machine-id").string();
        hostname_ = (dir() / "hostname").string();
        paths_ = {cpuinfo_.c_str(), issue_.c_str(), machine_id_.c_str(), hostname_.c_str()};
        vesk_machine_set_paths(&paths_);
        object_ = json_object_new(4);
    }
    void TearDown() override
    {
        vesk_machine_set_paths(nullptr);
        json_value_free(object_);
        TempDirTest::TearDown();
    }
    std::string text()
    {
        char *serialized = json_serialize(object_);
        std::string result = serialized != nullptr ? serialized : "(null)";
        std::free(serialized);
        return result;
    }

    std::string cpuinfo_, issue_, machine_id_, hostname_;
    vesk_machine_paths paths_{};
    json_value *object_ = nullptr;
};

struct Member {
    std::string name;
    int32_t type;
};

int collect_member(const char *name, json_value *value, void *user)
{
    static_cast<std::vector<Member> *>(user)->push_back({name, json_get_type(value)});
    return 0;
}

TEST_F(Machine, DescriptionHasEveryMemberInOrderWithItsType)
{
    write_file(machine_id_, "3D1219c7c4c5404aaa1f6d2a48adfda4\n");
    vesk_machine_info(object_);
    std::vector<Member> members;
    json_object_iter(object_, collect_member, &members);
    const std::vector<Member> expected = {
        {"macaddress", JSON_TYPE_STRING}, {"unixtime", JSON_TYPE_INTEGER},
        {"cores", JSON_TYPE_INTEGER},     {"vendor", JSON_TYPE_STRING},
        {"model", JSON_TYPE_STRING},      {"so", JSON_TYPE_STRING},
        {"id", JSON_TYPE_STRING},         {"hostname", JSON_TYPE_STRING},
        {"ifaces", JSON_TYPE_ARRAY},
    };
    ASSERT_EQ(members.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(members[k].name, expected[k].name);
        EXPECT_EQ(members[k].type, expected[k].type) << expected[k].name;
    }
    EXPECT_STREQ(json_object_get_string(object_, "macaddress"), "000000000000");
    EXPECT_GT(json_object_get_int(object_, "unixtime"), 1700000000);
    EXPECT_GE(json_object_get_int(object_, "cores"), 1);
    std::string so = json_object_get_string(object_, "so");
    EXPECT_NE(so.find(" ("), std::string::npos);
    EXPECT_EQ(so.back(), ')');
#if defined(_WIN32)
    // Windows gives its own hardware profile, whatever the machine-id file holds.
    std::string id = json_object_get_string(object_, "id");
    ASSERT_EQ(id.size(), 36u) << id;
    for (size_t dash : {8, 13, 18, 23})
        EXPECT_EQ(id[dash], '-') << id;
#else
    EXPECT_STREQ(json_object_get_string(object_, "id"), "3D1219c7-c4c5-404a-aa1f-6d2a48adfda4");
#endif
    EXPECT_STRNE(json_object_get_string(object_, "hostname"), "");
    EXPECT_EQ(json_array_length(json_object_find(object_, "ifaces")), 0);
    // One line from the MAC lookup, one from the interface list.
    std::vector<std::string> lines =
        testing_support::read_lines(testing_support::todays_log(dir()));
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string &line : lines)
        EXPECT_EQ(line.substr(21), "GetAdaptersInfo error: 0");
}

TEST_F(Machine, UnreadableIdentifierIsReportedAndLeftOut)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows reads the hardware profile from the system, not from a file";
#endif
    const std::pair<std::string, std::string> rows[] = {
        {"", "GetCurrentHwProfile failed with error 2\n"}, // missing file: ENOENT
        {"3d1219c7c4c5404aaa1f6d2a48adfda\n", "GetCurrentHwProfile failed with error 16\n"},
        {"3d1219c7c4c5404aaa1f6d2a48adfdag\n", "GetCurrentHwProfile failed with error 16\n"},
        {"3d1219c7c4c5404aaa1f6d2a48adfda44", "GetCurrentHwProfile failed with error 16\n"},
    };
    for (const auto &[content, message] : rows) {
        SCOPED_TRACE(content);
        fs::remove(machine_id_);
        if (!content.empty())
            write_file(machine_id_, content);
        json_object_free(object_);
        testing_support::StderrCapture err;
        vesk_machine_info(object_);
        EXPECT_EQ(err.text(), message);
        EXPECT_EQ(json_object_find(object_, "id"), nullptr);
        EXPECT_NE(json_object_find(object_, "ifaces"), nullptr);
    }
}

TEST_F(Machine, NullAndNonObjectArgumentsAreLeftAlone)
{
    write_file(cpuinfo_, "processor\t: 0\n");
    write_file(issue_, "Debian\n");
    json_value *array = json_array_new(1);
    vesk_machine_info(array);
    vesk_machine_info_proc(array);
    vesk_machine_info_etc(array);
    EXPECT_EQ(json_array_length(array), 0);
    json_value_free(array);
    vesk_machine_info(nullptr);
    vesk_machine_info_proc(nullptr);
    vesk_machine_info_etc(nullptr);
}

TEST_F(Machine, ProcessorFileGivesCountVendorAndModel)
{
    struct Row {
        const char *content;
        const char *expected;
    };
    const Row rows[] = {
        {"processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core\n"
         "processor\t: 1\nprocessor\t: 2\nprocessor\t: 3\n",
         R"({"vendor":"GenuineIntel","model":"Intel(R) Core","cores":4})"},
        {"vendor_id\t: First\nvendor_id\t: Second\nvendor_id without colon\n",
         R"({"vendor":"Second","cores":0})"},
        {"vendor_id\t:\nmodel name:\n", R"({"vendor":"","model":"","cores":0})"},
        {"Processor\t: 0\n processor\t: 1\n", R"({"cores":0})"},
        {"", R"({"cores":0})"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.content);
        write_file(cpuinfo_, row.content);
        json_object_free(object_);
        vesk_machine_info_proc(object_);
        EXPECT_EQ(text(), row.expected);
    }
    fs::remove(cpuinfo_);
    json_object_free(object_);
    vesk_machine_info_proc(object_);
    EXPECT_EQ(json_object_length(object_), 0); // no file: not even "cores"
}

TEST_F(Machine, ExistingCoresMemberIsReplacedInPlace)
{
    json_object_add(object_, "a", json_integer_new(1));
    json_object_add(object_, "cores", json_integer_new(99));
    json_object_add(object_, "z", json_integer_new(2));
    write_file(cpuinfo_, "processor\t: 0\nprocessor\t: 1\n");
    vesk_machine_info_proc(object_);
    EXPECT_EQ(text(), R"({"a":1,"cores":2,"z":2})");
}

TEST_F(Machine, EtcFilesGiveTheirFirstLineCutAtLineFeedOrBackslash)
{
    write_file(issue_, "Debian GNU/Linux 12 \\n \\l\n\n");
    write_file(machine_id_, "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    write_file(hostname_, "vm\nsecond line\n");
    vesk_machine_info_etc(object_);
    EXPECT_EQ(text(), R"({"so":"Debian GNU/Linux 12 ","id":"3d1219c7c4c5404aaa1f6d2a48adfda4",)"
                      R"("hostname":"vm"})");

    write_file(issue_, "no line end");
    write_file(machine_id_, "");
    fs::remove(hostname_);
    json_object_free(object_);
    vesk_machine_info_etc(object_);
    EXPECT_EQ(json_object_length(object_), 0);
}

// Some of the helpers log: in a fresh directory with a log directory, so
// that no line reaches the machine's fallback file.
class MachineMac : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
    }
};

TEST_F(MachineMac, ConvertsBothTextFormsToTheSameBytes)
{
    struct Row {
        const char *mac;
        std::vector<unsigned char> expected;
    };
    const Row rows[] = {
        {"00a0c914c829", {0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29, 0xEE}},
        {"00:a0:c9:14:c8:29\n", {0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29, 0xEE}},
        {"00:A0", {0x00, 0x10, 0xEE}},         // upper case is no hex digit
        {"00:a0:c", {0x00, 0xa0, 0xc0, 0xEE}}, // a lone last digit ends the walk
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.mac);
        std::vector<unsigned char> bytes(VESK_MAC_BUFFER_SIZE, 0xEE);
        EXPECT_EQ(vesk_converte_mac(row.mac, bytes.data()), 0);
        EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + row.expected.size()),
                  row.expected);
    }
    // A text describing more than the buffer holds stops at its end.
    std::string longer;
    for (int k = 0; k < 30; ++k)
        longer += "ab:";
    std::vector<unsigned char> bytes(VESK_MAC_BUFFER_SIZE + 4, 0xEE);
    vesk_converte_mac(longer.c_str(), bytes.data());
    EXPECT_EQ(bytes[VESK_MAC_BUFFER_SIZE - 1], 0xab);
    EXPECT_EQ(bytes[VESK_MAC_BUFFER_SIZE], 0xEE);
    EXPECT_EQ(vesk_converte_mac(nullptr, bytes.data()), -1);
}

TEST_F(MachineMac, FirstNonZeroAddressWinsAndNoneGivesZeros)
{
    unsigned char bytes[VESK_MAC_BUFFER_SIZE] = {0, 0, 0, 0, 0, 1};
    vesk_mac_cb("eth0", "00a0c914c829", "10.0.0.1", bytes);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[5], 1);
    bytes[5] = 0;
    vesk_mac_cb("eth1", "00a0c914c829", nullptr, bytes);
    EXPECT_EQ(bytes[1], 0xa0);

    unsigned char small[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    vesk_get_mac(small, 6); // below the buffer size: only zeroed
    EXPECT_EQ(std::vector<unsigned char>(small, small + 8),
              (std::vector<unsigned char>{0, 0, 0, 0, 0, 0, 7, 8}));

    char text[VESK_MAC_BUFFER_SIZE];
    EXPECT_EQ(vesk_mac(text, sizeof text), text);
    EXPECT_STREQ(text, "000000000000");
    vesk_mac(text, 5);
    EXPECT_STREQ(text, "0000");
}

TEST_F(MachineMac, InterfaceObjectStopsAtTheFirstMissingText)
{
    json_value *array = json_array_new(1);
    vesk_machine_info_cb("eth0", "00a0c914c829", "10.0.0.1", array);
    vesk_machine_info_cb("eth1", nullptr, "10.0.0.2", array);
    vesk_machine_info_cb("eth2", "00a0c914c829", nullptr, array);
    vesk_machine_info_cb(nullptr, "00a0c914c829", "10.0.0.3", array);
    char *text = json_serialize(array);
    EXPECT_STREQ(text, R"([{"name":"eth0","macaddress":"00a0c914c829","ip":"10.0.0.1"},)"
                       R"({"name":"eth1"},{"name":"eth2","macaddress":"00a0c914c829"},{}])");
    std::free(text);
    json_value_free(array);
    char ip[] = "1.2.3.4";
    EXPECT_EQ(vesk_get_local_ip("eth0", ip), ip);
}

} // namespace
