// SPDX-License-Identifier: MIT
// The installed tree, from `cmake --install` and from the .deb: the three
// programs, a desktop entry and metainfo that their validators accept, the
// icon in every hicolor size, the help page where the help command finds it,
// and the user unit and autostart entry exactly as "-install" writes them.
#include "app/Help.h"
#include "service/systemd/Process.h"
#include "service/systemd/UserUnit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vigilon {
namespace {

namespace fs = std::filesystem;
using svc::ProgramResult;
using svc::runProgram;

constexpr const char *kAppId = "com.ardentis.Vigilon";

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool haveTool(const std::string &tool)
{
    return runProgram({"sh", "-c", "command -v " + tool}).ok();
}

// The tools a test needs that are not installed (the bootstrap installs them).
std::string missingTools(std::initializer_list<const char *> tools)
{
    std::string missing;
    for (const char *tool : tools) {
        if (!haveTool(tool))
            missing += std::string(missing.empty() ? "" : ", ") + tool;
    }
    return missing;
}

class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (fs::temp_directory_path() / "vigilon-install-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

// A path of the installed system as found under root.
fs::path under(const fs::path &root, const std::string &absolute)
{
    return root / fs::path(absolute).relative_path();
}

// Width and height from a PNG's IHDR chunk; 0 when it is no PNG.
std::pair<unsigned, unsigned> pngSize(const fs::path &path)
{
    const std::string data = readFile(path);
    if (data.size() < 24 || data.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || data.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    const auto be32 = [&data](std::size_t at) {
        unsigned v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v = (v << 8) | static_cast<unsigned char>(data[at + i]);
        return v;
    };
    return {be32(16), be32(20)};
}

void checkInstalledTree(const fs::path &root)
{
    const fs::path bin = under(root, INSTALL_FULL_BINDIR);
    for (const char *program : {"vigilon", "vigilsvc", "vigilon-reg"}) {
        const fs::path path = bin / program;
        ASSERT_TRUE(fs::is_regular_file(path)) << path;
        EXPECT_NE(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::none) << path;
    }
    const ProgramResult version = runProgram({(bin / "vigilon").string(), "--version"});
    EXPECT_TRUE(version.ok()) << version.errors;
    EXPECT_EQ(version.output, std::string("vigilon ") + VIGILON_VERSION + "\n");

    const fs::path share = under(root, INSTALL_FULL_DATADIR);
    const fs::path desktop = share / "applications" / (std::string(kAppId) + ".desktop");
    const std::string entry = readFile(desktop);
    EXPECT_NE(entry.find("\nExec=vigilon\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find(std::string("\nIcon=") + kAppId + "\n"), std::string::npos) << entry;
    const ProgramResult validDesktop = runProgram({"desktop-file-validate", desktop.string()});
    EXPECT_TRUE(validDesktop.ok()) << validDesktop.output << validDesktop.errors;
    EXPECT_EQ(validDesktop.output + validDesktop.errors, "") << "no hints either";

    for (unsigned size : {16u, 22u, 32u, 48u, 64u}) {
        const std::string folder = std::to_string(size) + "x" + std::to_string(size);
        const fs::path icon = share / "icons/hicolor" / folder / "apps" / (std::string(kAppId) + ".png");
        EXPECT_EQ(pngSize(icon), std::make_pair(size, size)) << icon;
    }

    const fs::path metainfo = share / "metainfo" / (std::string(kAppId) + ".metainfo.xml");
    const std::string component = readFile(metainfo);
    EXPECT_NE(component.find(std::string("<id>") + kAppId + "</id>"), std::string::npos);
    EXPECT_NE(component.find(std::string("<launchable type=\"desktop-id\">") + kAppId + ".desktop</launchable>"),
              std::string::npos)
        << "the metainfo names the desktop entry that is installed";
    EXPECT_NE(component.find(std::string("<release version=\"") + VIGILON_VERSION + "\""), std::string::npos);
    const ProgramResult validMetainfo = runProgram({"appstreamcli", "validate", "--no-net", metainfo.string()}, 60000);
    EXPECT_TRUE(validMetainfo.ok()) << validMetainfo.output << validMetainfo.errors;

    // The help command's own search, pointed at the installed data folder.
    const std::string page = findHelpPage("/nonexistent", {share.string()});
    EXPECT_EQ(page, (share / "vigilon/docs_ja/read1st.htm").string());
    EXPECT_EQ(readFile(page), readFile(fs::path(SOURCE_DIR) / "docs_ja/read1st.htm"));

    // The same text "-install" writes for the installed program.
    const fs::path unit = root / fs::path(INSTALL_PREFIX).relative_path() / "lib/systemd/user/vigilsvc.service";
    EXPECT_EQ(readFile(unit), svc::unitText(std::string(INSTALL_FULL_BINDIR) + "/vigilsvc")) << unit;
    const fs::path autostart = under(root, AUTOSTART_DIR) / "vigilsvc.desktop";
    EXPECT_EQ(readFile(autostart), svc::autostartText()) << autostart;
}

TEST(Install, CmakeInstallPutsEveryFileWhereItIsLookedFor)
{
    if (const std::string missing = missingTools({"desktop-file-validate", "appstreamcli"}); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing << " (Debian packages desktop-file-utils, appstream)";
    ScratchDir root;
    ASSERT_FALSE(root.path().empty());
    const ProgramResult install =
        runProgram({"env", "DESTDIR=" + root.path().string(), CMAKE_PROGRAM, "--install", BUILD_DIR}, 120000);
    ASSERT_TRUE(install.ok()) << install.output << install.errors;
    checkInstalledTree(root.path());
}

TEST(Install, DebPackageHoldsTheSameTreeAndItsLibraries)
{
    if (const std::string missing =
            missingTools({"dpkg-deb", "dpkg-shlibdeps", "file", "desktop-file-validate", "appstreamcli"});
        !missing.empty())
        GTEST_SKIP() << "not installed: " << missing
                     << " (Debian packages dpkg-dev, file, desktop-file-utils, appstream)";
    ScratchDir scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path out = scratch.path() / "packages";
    const ProgramResult pack = runProgram(
        {CPACK_PROGRAM, "-G", "DEB", "--config", std::string(BUILD_DIR) + "/CPackConfig.cmake", "-B", out.string()},
        170000);
    ASSERT_TRUE(pack.ok()) << pack.output << pack.errors;

    std::vector<fs::path> debs;
    for (const auto &file : fs::directory_iterator(out)) {
        if (file.path().extension() == ".deb")
            debs.push_back(file.path());
    }
    ASSERT_EQ(debs.size(), 1u) << pack.output;
    const std::string deb = debs.front().string();

    const ProgramResult fields = runProgram({"dpkg-deb", "-f", deb, "Package", "Version", "Depends"});
    ASSERT_TRUE(fields.ok()) << fields.errors;
    EXPECT_NE(fields.output.find("Package: vigilon\n"), std::string::npos) << fields.output;
    EXPECT_NE(fields.output.find(std::string("Version: ") + VIGILON_VERSION + "\n"), std::string::npos);
    // From shlibdeps: the libraries the programs link, with versions.
    for (const char *library : {"libc6 (>=", "libqt6widgets6 (>=", "libqt6dbus6 (>=", "libsqlite3-0 (>=",
                                "libstdc++6 (>="})
        EXPECT_NE(fields.output.find(library), std::string::npos) << library << " in " << fields.output;
    // Loaded at run time, so named by hand.
    EXPECT_NE(fields.output.find("qt6-qpa-plugins"), std::string::npos);

    const fs::path root = scratch.path() / "root";
    const ProgramResult unpack = runProgram({"dpkg", "-x", deb, root.string()}, 60000);
    ASSERT_TRUE(unpack.ok()) << unpack.errors;
    checkInstalledTree(root);

    // Nothing of the build or the tests comes along.
    const ProgramResult contents = runProgram({"dpkg-deb", "-c", deb});
    ASSERT_TRUE(contents.ok());
    for (const char *stray : {"_tests", "gtest", "instance_helper", "vigilsvc_standin", "/include/"})
        EXPECT_EQ(contents.output.find(stray), std::string::npos) << stray;
}

} // namespace
} // namespace vigilon
