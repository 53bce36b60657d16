// The SECTIONS directive: entries of the selection list, their boot marks,
// addresses and data widths, duplicates and the directive's own part of the
// list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdfile/sections.h"
#include "diag/common.h"
#include "diag/diag.h"
#include "support/capture.h"

using namespace coffhex;

namespace {

const std::string W = ">> WARNING: ";
const std::string E = ">>   ERROR: ";

using Names = std::vector<std::string>;

// A selection list with its own diagnostics.
struct Rig {
    std::vector<std::string> listed_names() const {
        Names names;
        for (const SectionSpec* spec = selection.first(); spec != nullptr; spec = spec->next)
            names.push_back(spec->name);
        return names;
    }

    // What was written to standard error since the previous call.
    std::string messages() {
        const std::string all = captured.err();
        const std::string fresh = all.substr(seen_);
        seen_ = all.size();
        return fresh;
    }

    testsupport::CapturedDiagnostics captured;
    SectionSelection selection{captured.diag};

private:
    size_t seen_ = 0;
};

class Sections : public ::testing::Test, public Rig {};

}  // namespace

TEST_F(Sections, NewEntryStartsUnsetAndUnlisted) {
    selection.new_section_spec(".text");
    const SectionSpec* spec = selection.current();
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec->name, ".text");
    EXPECT_EQ(spec->next, nullptr);
    EXPECT_EQ(spec->section, -1);
    EXPECT_FALSE(spec->linked());
    EXPECT_FALSE(spec->paddr);
    EXPECT_EQ(spec->page, 0);
    EXPECT_FALSE(spec->datawidth);
    EXPECT_EQ(spec->flags, 0);
    EXPECT_EQ(selection.first(), nullptr);
    selection.append_section_spec();
    EXPECT_EQ(selection.first(), spec);
    EXPECT_EQ(selection.current(), spec);  // stays current after appending
}

TEST_F(Sections, BootMark) {
    selection.begin_sections();
    selection.new_section_spec("sect1");
    selection.set_boot();
    EXPECT_EQ(messages(), "");
    EXPECT_TRUE(selection.current()->boot_loaded());
    selection.set_boot();
    EXPECT_EQ(messages(), E + "bootflag reset for sect1\n");
    EXPECT_EQ(selection.current()->flags, SPEC_BOOT);
}

TEST_F(Sections, PhysicalAddressFirstValueKept) {
    selection.new_section_spec("sect1");
    selection.set_paddr(0x100);
    selection.set_paddr(0x200);
    EXPECT_EQ(messages(), E + "physical address redefined for sect1\n");
    EXPECT_EQ(selection.current()->paddr, 0x100u);
}

TEST_F(Sections, PhysicalAddressAfterBootMark) {
    selection.new_section_spec("sect1");
    selection.set_boot();
    selection.set_paddr(0x100);
    EXPECT_EQ(messages(), E + "physical address redefined for sect1\n");
    EXPECT_FALSE(selection.current()->paddr);
    EXPECT_TRUE(selection.current()->boot_loaded());
}

TEST_F(Sections, BootMarkAfterPhysicalAddress) {
    selection.new_section_spec("sect1");
    selection.set_paddr(0x100);
    selection.set_boot();
    EXPECT_EQ(messages(), "");
    EXPECT_TRUE(selection.current()->boot_loaded());
    // The address stays until the section list replaces it by the boot
    // table origin.
    EXPECT_EQ(selection.current()->paddr, 0x100u);
}

TEST_F(Sections, DataWidth) {
    selection.new_section_spec("sect1");
    selection.set_datawidth(16);
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(selection.current()->datawidth, 2);
    selection.set_datawidth(32);
    EXPECT_EQ(messages(), E + "datawidth redefined for sect1\n");
    EXPECT_EQ(selection.current()->datawidth, 4);  // the later value
    selection.set_datawidth(12);
    EXPECT_EQ(messages(), E + "datawidth redefined for sect1\n" + W +
                              "illegal datawidth of 12 specified for sect1\n");
    EXPECT_EQ(selection.current()->datawidth, 4);
}

TEST_F(Sections, IllegalDataWidthsLeaveTheDefault) {
    selection.new_section_spec("s12");
    selection.set_datawidth(12);
    selection.new_section_spec("s24");
    selection.set_datawidth(24);
    selection.set_datawidth(0);
    EXPECT_EQ(messages(), W + "illegal datawidth of 12 specified for s12\n" + W +
                              "illegal datawidth of 24 specified for s24\n" + W +
                              "illegal datawidth of 0 specified for s24\n");
    EXPECT_FALSE(selection.current()->datawidth);
}

TEST_F(Sections, DuplicateNameIsDropped) {
    selection.begin_sections();
    selection.new_section_spec("sect1");
    selection.set_paddr(0x100);
    selection.append_section_spec();
    SectionSpec* first = selection.current();

    selection.new_section_spec("sect1");
    selection.set_paddr(0x200);
    selection.set_boot();
    SectionSpec* second = selection.current();
    EXPECT_EQ(messages(), "");
    selection.append_section_spec();
    EXPECT_EQ(messages(), W + "duplicate section name 'sect1' (ignored)\n");
    EXPECT_EQ(listed_names(), (Names{"sect1"}));
    EXPECT_EQ(first->paddr, 0x100u);
    EXPECT_FALSE(first->boot_loaded());
    EXPECT_EQ(first->next, nullptr);

    // The dropped entry stays current and valid; working on it further
    // touches neither the list nor the first entry.
    EXPECT_EQ(selection.current(), second);
    selection.set_datawidth(16);
    selection.append_section_spec();
    EXPECT_EQ(messages(), W + "duplicate section name 'sect1' (ignored)\n");
    EXPECT_FALSE(first->datawidth);
    EXPECT_EQ(listed_names(), (Names{"sect1"}));

    // The next entry links behind the first one.
    selection.new_section_spec("sect2");
    selection.append_section_spec();
    EXPECT_EQ(listed_names(), (Names{"sect1", "sect2"}));
}

TEST_F(Sections, AppendingTheSameEntryTwiceIsADuplicate) {
    selection.new_section_spec("a");
    selection.append_section_spec();
    EXPECT_EQ(messages(), "");
    selection.append_section_spec();
    EXPECT_EQ(messages(), W + "duplicate section name 'a' (ignored)\n");
    EXPECT_EQ(listed_names(), (Names{"a"}));
    EXPECT_EQ(selection.first()->next, nullptr);
}

TEST_F(Sections, NamesAreCaseSensitive) {
    selection.new_section_spec(".text");
    selection.append_section_spec();
    selection.new_section_spec(".TEXT");
    selection.append_section_spec();
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(listed_names(), (Names{".text", ".TEXT"}));
}

TEST_F(Sections, SectionsRedefined) {
    selection.begin_sections();
    selection.begin_sections();  // nothing appended yet: no message
    EXPECT_EQ(messages(), "");
    selection.new_section_spec("a");
    selection.append_section_spec();
    selection.begin_sections();
    EXPECT_EQ(messages(), E + "SECTIONS directive redefined\n");
    selection.new_section_spec("b");
    selection.append_section_spec();
    EXPECT_EQ(listed_names(), (Names{"a", "b"}));
}

TEST_F(Sections, OperationsWithoutCurrentEntryDoNothing) {
    selection.set_boot();
    selection.set_paddr(0x100);
    selection.set_datawidth(16);
    selection.append_section_spec();
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(selection.first(), nullptr);
    EXPECT_EQ(selection.current(), nullptr);
}

TEST_F(Sections, DirectiveUseCountsAppendedEntriesOnly) {
    selection.begin_sections();
    EXPECT_FALSE(selection.directive_used());
    selection.new_section_spec("cut_short");  // item never completed
    EXPECT_FALSE(selection.directive_used());
    selection.new_section_spec("a");
    selection.append_section_spec();
    EXPECT_TRUE(selection.directive_used());

    // Entries appended after the directive's part is closed (default
    // selection, linker fill sections) are not the directive's.
    Rig other;
    other.selection.close_directive();
    other.selection.new_section_spec("default");
    other.selection.append_section_spec();
    EXPECT_FALSE(other.selection.directive_used());
    EXPECT_EQ(other.listed_names(), (Names{"default"}));
}
