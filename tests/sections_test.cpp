#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "driver/run.h"
#include "image/section_list.h"

using namespace coffhex;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

const std::string W = ">> WARNING: ";
const std::string E = ">>   ERROR: ";

class Sections : public ::testing::Test {
protected:
    void SetUp() override {
        reset_options();  // every setting and every subsystem's run state
        set_coff_file_name("app.out");
    }
};

std::vector<std::string> listed_names() {
    std::vector<std::string> names;
    for (const SectionSpec* spec = first_section_spec(); spec != nullptr; spec = spec->next) {
        names.push_back(spec->name);
    }
    return names;
}

using Names = std::vector<std::string>;

}  // namespace

TEST_F(Sections, NewEntryStartsUnsetAndUnlisted) {
    new_section_spec(".text");
    const SectionSpec* spec = current_section_spec();
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec->name, ".text");
    EXPECT_EQ(spec->next, nullptr);
    EXPECT_EQ(spec->section, -1);
    EXPECT_FALSE(spec->linked());
    EXPECT_EQ(spec->address, ALL_ONES);
    EXPECT_EQ(spec->start_address, ALL_ONES);
    EXPECT_EQ(spec->page, 0);
    EXPECT_EQ(spec->last_address, 0u);
    EXPECT_EQ(spec->datawidth, -1);
    EXPECT_EQ(spec->range, nullptr);
    EXPECT_EQ(spec->flags, 0);
    EXPECT_EQ(first_section_spec(), nullptr);
    append_section_spec();
    EXPECT_EQ(first_section_spec(), spec);
    EXPECT_EQ(current_section_spec(), spec);  // stays current after appending
}

TEST_F(Sections, BootMark) {
    begin_sections();
    new_section_spec("sect1");
    CaptureStderr();
    set_boot();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_TRUE(current_section_spec()->boot_loaded());
    CaptureStderr();
    set_boot();
    EXPECT_EQ(GetCapturedStderr(), E + "bootflag reset for sect1\n");
    EXPECT_EQ(current_section_spec()->flags, SPEC_BOOT);
}

TEST_F(Sections, PhysicalAddressFirstValueKept) {
    new_section_spec("sect1");
    CaptureStderr();
    set_paddr(0x100);
    set_paddr(0x200);
    EXPECT_EQ(GetCapturedStderr(), E + "physical address redefined for sect1\n");
    EXPECT_EQ(current_section_spec()->address, 0x100u);
    EXPECT_EQ(current_section_spec()->start_address, 0x100u);
}

TEST_F(Sections, PhysicalAddressAfterBootMark) {
    new_section_spec("sect1");
    set_boot();
    CaptureStderr();
    set_paddr(0x100);
    EXPECT_EQ(GetCapturedStderr(), E + "physical address redefined for sect1\n");
    EXPECT_EQ(current_section_spec()->address, ALL_ONES);
    EXPECT_EQ(current_section_spec()->start_address, ALL_ONES);
    EXPECT_TRUE(current_section_spec()->boot_loaded());
}

TEST_F(Sections, BootMarkAfterPhysicalAddress) {
    new_section_spec("sect1");
    CaptureStderr();
    set_paddr(0x100);
    set_boot();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_TRUE(current_section_spec()->boot_loaded());
    // The address stays until the section list replaces it by the boot
    // table origin.
    EXPECT_EQ(current_section_spec()->address, 0x100u);
}

TEST_F(Sections, DataWidth) {
    new_section_spec("sect1");
    CaptureStderr();
    set_datawidth(16);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(current_section_spec()->datawidth, 2);
    CaptureStderr();
    set_datawidth(32);
    EXPECT_EQ(GetCapturedStderr(), E + "datawidth redefined for sect1\n");
    EXPECT_EQ(current_section_spec()->datawidth, 4);  // the later value
    CaptureStderr();
    set_datawidth(12);
    EXPECT_EQ(GetCapturedStderr(), E + "datawidth redefined for sect1\n" + W +
                                       "illegal datawidth of 12 specified for sect1\n");
    EXPECT_EQ(current_section_spec()->datawidth, 4);
}

TEST_F(Sections, IllegalDataWidthsLeaveTheDefault) {
    new_section_spec("s12");
    CaptureStderr();
    set_datawidth(12);
    new_section_spec("s24");
    set_datawidth(24);
    set_datawidth(0);
    EXPECT_EQ(GetCapturedStderr(), W + "illegal datawidth of 12 specified for s12\n" + W +
                                       "illegal datawidth of 24 specified for s24\n" + W +
                                       "illegal datawidth of 0 specified for s24\n");
    EXPECT_EQ(current_section_spec()->datawidth, -1);
}

TEST_F(Sections, DuplicateNameIsDropped) {
    begin_sections();
    new_section_spec("sect1");
    set_paddr(0x100);
    append_section_spec();
    SectionSpec* first = current_section_spec();

    new_section_spec("sect1");
    set_paddr(0x200);
    set_boot();
    SectionSpec* second = current_section_spec();
    CaptureStderr();
    append_section_spec();
    EXPECT_EQ(GetCapturedStderr(), W + "duplicate section name 'sect1' (ignored)\n");
    EXPECT_EQ(listed_names(), (Names{"sect1"}));
    EXPECT_EQ(first->address, 0x100u);
    EXPECT_FALSE(first->boot_loaded());
    EXPECT_EQ(first->next, nullptr);

    // The dropped entry stays current and valid; working on it further
    // touches neither the list nor the first entry.
    EXPECT_EQ(current_section_spec(), second);
    CaptureStderr();
    set_datawidth(16);
    append_section_spec();
    EXPECT_EQ(GetCapturedStderr(), W + "duplicate section name 'sect1' (ignored)\n");
    EXPECT_EQ(first->datawidth, -1);
    EXPECT_EQ(listed_names(), (Names{"sect1"}));

    // The next entry links behind the first one.
    new_section_spec("sect2");
    append_section_spec();
    EXPECT_EQ(listed_names(), (Names{"sect1", "sect2"}));
}

TEST_F(Sections, AppendingTheSameEntryTwiceIsADuplicate) {
    new_section_spec("a");
    append_section_spec();
    CaptureStderr();
    append_section_spec();
    EXPECT_EQ(GetCapturedStderr(), W + "duplicate section name 'a' (ignored)\n");
    EXPECT_EQ(listed_names(), (Names{"a"}));
    EXPECT_EQ(first_section_spec()->next, nullptr);
}

TEST_F(Sections, NamesAreCaseSensitive) {
    CaptureStderr();
    new_section_spec(".text");
    append_section_spec();
    new_section_spec(".TEXT");
    append_section_spec();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(listed_names(), (Names{".text", ".TEXT"}));
}

TEST_F(Sections, SectionsRedefined) {
    CaptureStderr();
    begin_sections();
    begin_sections();  // nothing appended yet: no message
    EXPECT_EQ(GetCapturedStderr(), "");
    new_section_spec("a");
    append_section_spec();
    CaptureStderr();
    begin_sections();
    EXPECT_EQ(GetCapturedStderr(), E + "SECTIONS directive redefined\n");
    new_section_spec("b");
    append_section_spec();
    EXPECT_EQ(listed_names(), (Names{"a", "b"}));
}

TEST_F(Sections, OperationsWithoutCurrentEntryDoNothing) {
    CaptureStderr();
    set_boot();
    set_paddr(0x100);
    set_datawidth(16);
    append_section_spec();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(first_section_spec(), nullptr);
    EXPECT_EQ(current_section_spec(), nullptr);
}

TEST_F(Sections, DirectiveUseCountsAppendedEntriesOnly) {
    begin_sections();
    EXPECT_FALSE(sections_directive_used());
    new_section_spec("cut_short");  // item never completed
    EXPECT_FALSE(sections_directive_used());
    new_section_spec("a");
    append_section_spec();
    EXPECT_TRUE(sections_directive_used());

    // Entries appended after the directive's part is closed (default
    // selection, linker fill sections) are not the directive's.
    reset_sections();
    close_section_directive();
    new_section_spec("default");
    append_section_spec();
    EXPECT_FALSE(sections_directive_used());
    EXPECT_EQ(listed_names(), (Names{"default"}));
}

TEST_F(Sections, ResetClearsEverything) {
    new_section_spec("a");
    append_section_spec();
    reset_sections();
    EXPECT_EQ(first_section_spec(), nullptr);
    EXPECT_EQ(current_section_spec(), nullptr);
    EXPECT_FALSE(sections_directive_used());
    // The names are forgotten too: "a" is no duplicate now.
    CaptureStderr();
    new_section_spec("a");
    append_section_spec();
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(listed_names(), (Names{"a"}));
}
