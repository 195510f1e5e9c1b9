// SPDX-License-Identifier: MIT
// The installed tree, from `cmake --install` under the build's prefix and
// from the .deb under /usr: the three programs and their manual pages, a
// desktop entry and metainfo that their validators accept, the icon in every
// hicolor size and as SVG, the help page where the help command finds it,
// and the user unit and autostart entry exactly as "-install" writes them for
// that prefix. The .deb passes lintian.
#include "app/Help.h"
#include "service/posix/UserUnit.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace vigilon {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::run;

constexpr const char *kAppId = "com.ardentis.Vigilon";

// The tools a test needs that are not installed (the bootstrap installs them).
std::string missingTools(std::initializer_list<const char *> tools)
{
    std::string missing;
    for (const char *tool : tools) {
        if (run({"sh", "-c", std::string("command -v ") + tool}).status != 0)
            missing += std::string(missing.empty() ? "" : ", ") + tool;
    }
    return missing;
}

// A path of the installed system as found under root.
fs::path under(const fs::path &root, const std::string &absolute)
{
    return root / fs::path(absolute).relative_path();
}

// Where desktops read autostart entries for programs under prefix.
std::string autostartDir(const std::string &prefix)
{
    return prefix == "/usr" || prefix == "/usr/local" ? "/etc/xdg/autostart" : prefix + "/etc/xdg/autostart";
}

void checkInstalledTree(const fs::path &root, const std::string &prefix)
{
    const fs::path bin = under(root, prefix + "/" + INSTALL_BINDIR);
    for (const char *program : {"vigilon", "vigilsvc", "vigilon-reg"}) {
        const fs::path path = bin / program;
        ASSERT_TRUE(fs::is_regular_file(path)) << path;
        EXPECT_NE(fs::status(path).permissions() & fs::perms::owner_exec, fs::perms::none) << path;
        const fs::path man = under(root, prefix + "/" + INSTALL_MANDIR) / "man1" / (std::string(program) + ".1.gz");
        const test::RunResult page = run({"sh", "-c", "gzip -dc \"$1\" | head -n 2", "sh", man.string()});
        EXPECT_NE(page.out.find(".TH "), std::string::npos) << man << page.err;
    }
    const test::RunResult version = run({(bin / "vigilon").string(), "--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, std::string("vigilon ") + VIGILON_VERSION + "\n");

    const fs::path share = under(root, prefix + "/" + INSTALL_DATADIR);
    const fs::path desktop = share / "applications" / (std::string(kAppId) + ".desktop");
    const std::string entry = readFile(desktop);
    EXPECT_NE(entry.find("\nExec=vigilon\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find(std::string("\nIcon=") + kAppId + "\n"), std::string::npos) << entry;
    const test::RunResult validDesktop = run({"desktop-file-validate", desktop.string()});
    EXPECT_EQ(validDesktop.status, 0);
    EXPECT_EQ(validDesktop.out + validDesktop.err, "") << "no hints either";

    for (unsigned size : {16u, 22u, 32u, 48u, 64u, 128u}) {
        const std::string folder = std::to_string(size) + "x" + std::to_string(size);
        const fs::path icon = share / "icons/hicolor" / folder / "apps" / (std::string(kAppId) + ".png");
        const std::string kind = run({"file", "-b", icon.string()}).out;
        EXPECT_EQ(kind.rfind("PNG image data, " + std::to_string(size) + " x " + std::to_string(size) + ",", 0), 0u)
            << icon << ": " << kind;
    }
    EXPECT_EQ(readFile(share / "icons/hicolor/scalable/apps" / (std::string(kAppId) + ".svg")),
              readFile(fs::path(SOURCE_DIR) / "res/icons/143.svg"));

    const fs::path metainfo = share / "metainfo" / (std::string(kAppId) + ".metainfo.xml");
    const std::string component = readFile(metainfo);
    EXPECT_NE(component.find(std::string("<id>") + kAppId + "</id>"), std::string::npos);
    EXPECT_NE(component.find(std::string("<launchable type=\"desktop-id\">") + kAppId + ".desktop</launchable>"),
              std::string::npos)
        << "the metainfo names the desktop entry that is installed";
    EXPECT_NE(component.find(std::string("<release version=\"") + VIGILON_VERSION + "\""), std::string::npos);
    const test::RunResult validMetainfo = run({"appstreamcli", "validate", "--no-net", metainfo.string()});
    EXPECT_EQ(validMetainfo.status, 0) << validMetainfo.out << validMetainfo.err;

    // The help command's own search, pointed at the installed data folder.
    const std::string page = findHelpPage({"/nonexistent"}, {share.string()});
    EXPECT_EQ(page, (share / "vigilon/docs_ja/read1st.htm").string());
    EXPECT_EQ(readFile(page), readFile(fs::path(SOURCE_DIR) / "docs_ja/read1st.htm"));
    // Where the README and the manual page tell prometheus.yml to look.
    const fs::path rules = share / "vigilon/prometheus/vigilon-rules.yml";
    EXPECT_TRUE(fs::is_regular_file(rules)) << rules;
    EXPECT_EQ(readFile(rules), readFile(fs::path(SOURCE_DIR) / "res/prometheus/vigilon-rules.yml"));

    // The same text "-install" writes for the installed program.
    const fs::path unit = under(root, prefix + "/lib/systemd/user/vigilsvc.service");
    EXPECT_EQ(readFile(unit), svc::unitText(prefix + "/" + INSTALL_BINDIR + "/vigilsvc")) << unit;
    const fs::path autostart = under(root, autostartDir(prefix)) / "vigilsvc.desktop";
    EXPECT_EQ(readFile(autostart), svc::autostartText()) << autostart;
}

TEST(Install, CmakeInstallPutsEveryFileWhereItIsLookedFor)
{
    if (const std::string missing = missingTools({"file", "desktop-file-validate", "appstreamcli"}); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing << " (Debian packages file, desktop-file-utils, appstream)";
    test::TempDir root;
    const test::RunResult install = run({CMAKE_PROGRAM, "--install", BUILD_DIR}, {"DESTDIR=" + root.path()}, 120000);
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    checkInstalledTree(root.path(), INSTALL_PREFIX);
}

TEST(Install, DebPackageHoldsTheSameTreeAndItsLibraries)
{
    if (const std::string missing =
            missingTools({"dpkg-deb", "dpkg-shlibdeps", "file", "desktop-file-validate", "appstreamcli"});
        !missing.empty())
        GTEST_SKIP() << "not installed: " << missing
                     << " (Debian packages dpkg-dev, file, desktop-file-utils, appstream)";
    test::TempDir scratch;
    const std::string out = scratch / "packages";
    const test::RunResult pack =
        run({CPACK_PROGRAM, "-G", "DEB", "--config", std::string(BUILD_DIR) + "/CPackConfig.cmake", "-B", out}, {},
            170000);
    ASSERT_EQ(pack.status, 0) << pack.out << pack.err;

    std::vector<fs::path> debs;
    for (const auto &file : fs::directory_iterator(out)) {
        if (file.path().extension() == ".deb")
            debs.push_back(file.path());
    }
    ASSERT_EQ(debs.size(), 1u) << pack.out;
    const std::string deb = debs.front().string();

    const test::RunResult fields = run({"dpkg-deb", "-f", deb, "Package", "Version", "Depends"});
    ASSERT_EQ(fields.status, 0) << fields.err;
    EXPECT_NE(fields.out.find("Package: vigilon\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find(std::string("Version: ") + VIGILON_VERSION + "\n"), std::string::npos);
    // From shlibdeps: the libraries the programs link, with versions.
    for (const char *library : {"libc6 (>=", "libqt6widgets6 (>=", "libqt6dbus6 (>=", "libsqlite3-0 (>=",
                                "libstdc++6 (>="})
        EXPECT_NE(fields.out.find(library), std::string::npos) << library << " in " << fields.out;
    // Loaded at run time, so named by hand.
    EXPECT_NE(fields.out.find("qt6-qpa-plugins"), std::string::npos);

    // A system package installs under /usr whatever the build's own prefix.
    ASSERT_EQ(run({"dpkg", "-x", deb, scratch / "root"}).status, 0);
    checkInstalledTree(scratch / "root", "/usr");

    // Nothing of the build or the tests comes along, nothing under /usr/local.
    const test::RunResult contents = run({"dpkg-deb", "-c", deb});
    ASSERT_EQ(contents.status, 0);
    for (const char *stray : {"_tests", "gtest", "_helper", "_standin", "tray_test_watcher", "/include/", "./usr/local"})
        EXPECT_EQ(contents.out.find(stray), std::string::npos) << stray;

    if (!missingTools({"lintian"}).empty())
        GTEST_SKIP() << "not installed: lintian";
    // With the informational tags: the programs are built hardened.
    const test::RunResult lint = run({"lintian", "-I", "--tag-display-limit", "0", deb}, {}, 170000);
    EXPECT_EQ(lint.out.find("E: "), std::string::npos) << lint.out << lint.err;
    EXPECT_EQ(lint.err.find("E: "), std::string::npos) << lint.err;
    EXPECT_EQ(lint.out.find("hardening-no-bindnow"), std::string::npos) << lint.out;
    if (VIGILON_OPTIMISED) {
        EXPECT_EQ(lint.out.find("hardening-"), std::string::npos) << lint.out;
    }
    // What remains is worth a look, not a failure.
    if (!lint.out.empty())
        std::fprintf(stderr, "lintian:\n%s", lint.out.c_str());
}

} // namespace
} // namespace vigilon
