#include <gtest/gtest.h>

#include <string>

#include "image/filename.h"

using coffhex::PathParts;
using coffhex::set_extension;
using coffhex::split_path;

namespace {

void expect_parts(const char* path, const std::string& dir, const std::string& base,
                  const std::string& ext) {
    const PathParts parts = split_path(path);
    EXPECT_EQ(parts.directory, dir) << "path " << (path ? path : "(null)");
    EXPECT_EQ(parts.base, base) << "path " << (path ? path : "(null)");
    EXPECT_EQ(parts.extension, ext) << "path " << (path ? path : "(null)");
}

std::string with_extension(std::string name, const char* extension, bool replace) {
    set_extension(name, extension, replace);
    return name;
}

}  // namespace

TEST(SplitPath, MixedSeparatorsAndDoubleExtension) {
    // The directory keeps its separators, "/" turned into "\"; only the last
    // extension is split off.
    expect_parts("dir/sub\\app.rev.out", "dir\\sub\\", "app.rev", "out");
}

TEST(SplitPath, DriveAndWindowsStylePaths) {
    expect_parts("c:app", "c:", "app", "");
    expect_parts("c:\\in\\prog.cof", "c:\\in\\", "prog", "cof");
    expect_parts("d:/work/app.out", "d:\\work\\", "app", "out");
}

TEST(SplitPath, TrailingDotStaysInBase) {
    expect_parts("app.", "", "app.", "");
    expect_parts("dir/app.", "dir\\", "app.", "");
}

TEST(SplitPath, DotsInDirectoryAreNotExtensions) {
    expect_parts("dir.b/prog", "dir.b\\", "prog", "");
    expect_parts("dir.b\\prog.x", "dir.b\\", "prog", "x");
}

TEST(SplitPath, NameWithoutBaseOrWithoutName) {
    // The last "." opens the extension even when it is the first character.
    expect_parts(".profile", "", "", "profile");
    expect_parts("/abs/path/", "\\abs\\path\\", "", "");
    expect_parts("app", "", "app", "");
}

TEST(SplitPath, EmptyOrAbsentPathGivesEmptyParts) {
    expect_parts("", "", "", "");
    expect_parts(nullptr, "", "", "");
}

TEST(SplitPath, EachPartIsCutTo499Characters) {
    const std::string dir(600, 'd');
    const std::string base(600, 'b');
    const std::string ext(600, 'e');
    const std::string path = dir + "/" + base + "." + ext;
    const PathParts parts = split_path(path.c_str());
    // The directory is 601 characters with its separator; its first 499 are
    // all "d".
    EXPECT_EQ(parts.directory, std::string(499, 'd'));
    EXPECT_EQ(parts.base, std::string(499, 'b'));
    EXPECT_EQ(parts.extension, std::string(499, 'e'));

    const std::string short_dir = "x/" + std::string(498, 'b') + ".out";
    const PathParts exact = split_path(short_dir.c_str());
    EXPECT_EQ(exact.base, std::string(498, 'b'));
    EXPECT_EQ(exact.extension, "out");
}

TEST(SetExtension, ReplaceExistingExtension) {
    EXPECT_EQ(with_extension("app.rev", ".i0", true), "app.i0");
    EXPECT_EQ(with_extension("app.rev", "i0", true), "app.i0");
    EXPECT_EQ(with_extension("app.rev", "", true), "app");
    EXPECT_EQ(with_extension("app.", ".x3", true), "app.x3");
    EXPECT_EQ(with_extension("dir\\app.out", ".i12", true), "dir\\app.i12");
}

TEST(SetExtension, KeepExistingExtensionWithoutReplace) {
    EXPECT_EQ(with_extension("prog.x", ".out", false), "prog.x");
    EXPECT_EQ(with_extension("prog.", ".out", false), "prog.");
}

TEST(SetExtension, AddExtensionWhenNameHasNone) {
    EXPECT_EQ(with_extension("dir.b/prog", ".out", false), "dir.b/prog.out");
    EXPECT_EQ(with_extension("dir.b\\prog", "out", false), "dir.b\\prog.out");
    EXPECT_EQ(with_extension("app", ".i0", true), "app.i0");
    EXPECT_EQ(with_extension("app", "i0", true), "app.i0");
    // An empty extension adds nothing, not even a ".".
    EXPECT_EQ(with_extension("app", "", true), "app");
    EXPECT_EQ(with_extension("app", "", false), "app");
    EXPECT_EQ(with_extension("app", nullptr, false), "app");
    EXPECT_EQ(with_extension("", ".x0", true), ".x0");
}
