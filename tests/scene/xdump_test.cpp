// sombrella-xdump as a user runs it: exit status and the first lines it prints.
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "scene_test_support.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun RunXdump(const std::string& args) {
    ToolRun r{-1, {}};
    FILE* p = popen((std::string(SOMBRELLA_XDUMP) + " " + args + " 2>&1").c_str(), "r");
    if (p == nullptr) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class XdumpTool : public scene_test::TempDirTest {};

TEST_F(XdumpTool, PrintsTheTreeOrTheFailure) {
    using namespace scene_test;
    WriteFile("one.x", BinaryX({MakeFrame("Top", {MakeMesh("Tri", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}})})}));
    ToolRun text = RunXdump("one.x");
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out.rfind("frame \"D3DFile_Root\"\n", 0), 0u) << text.out;
    EXPECT_NE(text.out.find("  frame \"Top\"\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("vertices 3 triangles 1 indices 3 capacity 3\n"), std::string::npos) << text.out;

    ToolRun json = RunXdump("one.x --json");
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out.rfind("{\"root\":{\"kind\":\"frame\",\"name\":\"D3DFile_Root\"", 0), 0u) << json.out;

    ToolRun missing = RunXdump("absent.x");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "0x88760359 file not found\n");

    WriteFile("junk.x", "not an x file at all");
    ToolRun junk = RunXdump("junk.x");
    EXPECT_EQ(junk.status, 1);
    EXPECT_EQ(junk.out.substr(0, 2), "0x");
}

}  // namespace
