#include <gtest/gtest.h>

#include <cstring>
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
const std::string F = ">> FATAL ERROR: ";

using Names = std::vector<std::string>;

class SectionList : public ::testing::Test {
protected:
    void SetUp() override {
        reset_options();  // every setting and every subsystem's run state
        set_coff_file_name("app.out");
    }
};

// Adds a section header to the input file: physical and virtual address
// equal, raw data in the file unless the size is 0 or `has_data` is false.
// Names longer than eight characters live in the string table; `name` must
// outlive the test (string literals do).
void add_section(const char* name, uint32_t address, uint32_t size, uint32_t flags = 0,
                 uint16_t page = 0, bool has_data = true) {
    SectionEntry entry;
    if (std::strlen(name) <= 8) {
        std::strncpy(entry.name, name, 8);
    } else {
        entry.long_name = name;
    }
    entry.paddr = address;
    entry.vaddr = address;
    entry.size = size;
    entry.data_pos = has_data ? 0x200 : 0;
    entry.flags = flags;
    entry.page = page;
    coff_input().sections.push_back(entry);
}

// One SECTIONS item: the name, then paddr (unless all ones), then the boot
// mark.
void select(const char* name, uint32_t paddr = ALL_ONES, bool boot = false) {
    new_section_spec(name);
    if (paddr != ALL_ONES) set_paddr(paddr);
    if (boot) set_boot();
    append_section_spec();
}

Names array_names() {
    Names names;
    for (const SectionEntry& section : coff_input().sections) {
        names.push_back(section_name_text(section));
    }
    return names;
}

SectionSpec* spec_named(const std::string& name) {
    for (SectionSpec* spec = first_section_spec(); spec != nullptr; spec = spec->next) {
        if (spec->name == name) return spec;
    }
    return nullptr;
}

// Names of the array slots' linked entries, in array order, for the first
// `count` slots.
Names converted_names(int count) {
    Names names;
    for (int i = 0; i < count; ++i) {
        const SectionSpec* spec = spec_for_section(i);
        names.push_back(spec != nullptr ? spec->name : "(none)");
    }
    return names;
}

std::string complete_capturing() {
    CaptureStderr();
    complete_section_list();
    return GetCapturedStderr();
}

}  // namespace

// ---------------------------------------------------------------------------
// Default selection and resolution.

TEST_F(SectionList, DefaultSelectionOrdersByPageThenAddress) {
    add_section(".text", 0x100, 0x10);
    add_section(".data", 0x50, 8);
    add_section(".bss", 0x400, 0x20, 0, 0, false);  // no raw data
    add_section(".empty", 0x10, 0);
    add_section(".dsect", 0x20, 4, STYP_DSECT);
    add_section(".noload", 0x30, 4, STYP_NOLOAD);
    add_section(".page1", 0x0, 4, 0, 1);
    add_section(".const", 0x60, 4);

    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 4);
    // Converted sections first, by page and address; the others follow in
    // their file order; the length is unchanged.
    EXPECT_EQ(array_names(), (Names{".data", ".const", ".text", ".page1", ".bss", ".empty",
                                    ".dsect", ".noload"}));
    EXPECT_EQ(converted_names(8), (Names{".data", ".const", ".text", ".page1", "(none)", "(none)",
                                         "(none)", "(none)"}));

    // Every section of the file was selected; unlinked ones stay in the list.
    EXPECT_EQ(spec_named(".bss")->section, -1);
    EXPECT_EQ(spec_named(".bss")->address, ALL_ONES);
    EXPECT_EQ(spec_named(".empty")->section, -1);

    const SectionSpec* data = spec_named(".data");
    EXPECT_EQ(data->section, 0);
    EXPECT_EQ(data->address, 0x50u);
    EXPECT_EQ(data->start_address, 0x50u);
    EXPECT_EQ(data->page, 0);
    EXPECT_EQ(data->datawidth, 1);
    EXPECT_EQ(data->flags, SPEC_MOVED);
    EXPECT_EQ(spec_named(".page1")->page, 1);
    EXPECT_EQ(spec_named(".page1")->section, 3);
    EXPECT_EQ(coff_input().sections[3].page, 1);
}

TEST_F(SectionList, NothingToConvert) {
    add_section(".bss", 0x100, 0x20, 0, 0, false);
    add_section(".empty", 0x10, 0);
    add_section(".dsect", 0x20, 4, STYP_DSECT);
    add_section(".noload", 0x30, 4, STYP_NOLOAD);
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 0);
    EXPECT_EQ(array_names(), (Names{".bss", ".empty", ".dsect", ".noload"}));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(spec_for_section(i), nullptr);
}

TEST_F(SectionList, DataWidthDefault) {
    options().data_width = 2;
    add_section("a", 0x100, 4);
    add_section("b", 0x200, 4);
    begin_sections();
    new_section_spec("a");
    set_datawidth(32);
    append_section_spec();
    select("b");
    select("missing");
    complete_capturing();
    EXPECT_EQ(spec_named("a")->datawidth, 4);
    EXPECT_EQ(spec_named("b")->datawidth, 2);
    EXPECT_EQ(spec_named("missing")->datawidth, 2);
}

TEST_F(SectionList, SameAddressKeepsFileOrder) {
    add_section("a", 0x100, 4);
    add_section("b", 0x100, 4);
    add_section("c", 0x100, 4);
    add_section("low", 0x80, 4);
    complete_capturing();
    EXPECT_EQ(array_names(), (Names{"low", "a", "b", "c"}));
}

TEST_F(SectionList, AddressesCompareUnsigned) {
    add_section("hi", 0x80000000u, 4);
    add_section("lo", 0x10, 4);
    complete_capturing();
    EXPECT_EQ(array_names(), (Names{"lo", "hi"}));
}

TEST_F(SectionList, FirstSectionOfANameWins) {
    add_section(".text", 0x200, 4);
    add_section(".text", 0x100, 4);
    // The default selection names .text twice; the second is dropped.
    EXPECT_EQ(complete_capturing(), W + "duplicate section name '.text' (ignored)\n");
    EXPECT_EQ(converted_section_count(), 1);
    EXPECT_EQ(coff_input().sections[0].vaddr, 0x200u);
    EXPECT_EQ(coff_input().sections[1].vaddr, 0x100u);
    EXPECT_EQ(spec_for_section(1), nullptr);
}

TEST_F(SectionList, LongAndEightCharacterNames) {
    add_section(".text_in_string_table", 0x300, 4);
    add_section("abcdefgh", 0x100, 4);
    begin_sections();
    select(".text_in_string_table");
    select("abcdefgh");
    select("abcdefg");
    EXPECT_EQ(complete_capturing(), W + "section abcdefg not found in app.out\n");
    EXPECT_EQ(converted_section_count(), 2);
    EXPECT_EQ(converted_names(2), (Names{"abcdefgh", ".text_in_string_table"}));
}

// ---------------------------------------------------------------------------
// SECTIONS and -boot.

TEST_F(SectionList, SectionsDirectiveSelectsOnlyItsNames) {
    add_section(".text", 0x100, 0x10, 0, 2);
    add_section(".data", 0x50, 8);
    begin_sections();
    select(".text", 0x8000);
    select("nosuch");
    EXPECT_EQ(complete_capturing(), W + "section nosuch not found in app.out\n");
    EXPECT_EQ(converted_section_count(), 1);
    EXPECT_EQ(array_names(), (Names{".text", ".data"}));
    const SectionSpec* text = spec_named(".text");
    // The address from SECTIONS stays; the page always comes from the section.
    EXPECT_EQ(text->address, 0x8000u);
    EXPECT_EQ(text->start_address, 0x8000u);
    EXPECT_EQ(text->page, 2);
    EXPECT_EQ(spec_named("nosuch")->section, -1);
    EXPECT_EQ(spec_named(".data"), nullptr);
}

TEST_F(SectionList, DirectiveNamingOnlyMissingSections) {
    add_section(".text", 0x100, 0x10);
    begin_sections();
    select("one");
    select("two");
    EXPECT_EQ(complete_capturing(), W + "section one not found in app.out\n" + W +
                                        "section two not found in app.out\n");
    EXPECT_EQ(converted_section_count(), 0);
}

TEST_F(SectionList, SectionNamedTwiceConvertsOnce) {
    add_section(".text", 0x100, 0x10);
    begin_sections();
    select(".text");
    CaptureStderr();
    select(".text", 0x500);
    EXPECT_EQ(GetCapturedStderr(), W + "duplicate section name '.text' (ignored)\n");
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 1);
    EXPECT_EQ(spec_named(".text")->address, 0x100u);
}

TEST_F(SectionList, BootOptionOverriddenBySections) {
    options().boot_all = true;
    options().boot_org = 0x1000;
    add_section(".text", 0x100, 0x10);
    add_section(".data", 0x50, 8);
    begin_sections();
    select(".text");
    EXPECT_EQ(complete_capturing(),
              W + "-boot option ignored and overridden by SECTIONS directive\n");
    EXPECT_EQ(converted_section_count(), 1);
    EXPECT_FALSE(spec_named(".text")->boot_loaded());
    EXPECT_EQ(spec_named(".text")->address, 0x100u);
}

TEST_F(SectionList, EmptySectionsDirectiveKeepsDefaultSelection) {
    options().boot_all = true;
    options().boot_org = 0x1000;
    add_section(".text", 0x100, 0x10);
    begin_sections();
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 1);
    EXPECT_TRUE(spec_named(".text")->boot_loaded());
}

TEST_F(SectionList, BootAllPlacesEverySectionAtTheBootOrigin) {
    options().boot_all = true;
    options().boot_org = 0x1000;
    options().boot_page = 1;
    add_section(".cinit", 0x10, 8, STYP_COPY);
    add_section(".text", 0x200, 0x10);
    add_section(".data", 0x300, 4);
    add_section(".bss", 0x800, 0x40, 0, 0, false);
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 3);
    // All three share page 1 and address 0x1000: list order, except that the
    // boot-loaded .cinit goes last.
    EXPECT_EQ(array_names(), (Names{".text", ".data", ".cinit", ".bss"}));
    for (const char* name : {".cinit", ".text", ".data"}) {
        const SectionSpec* spec = spec_named(name);
        EXPECT_TRUE(spec->boot_loaded()) << name;
        EXPECT_EQ(spec->address, 0x1000u) << name;
        EXPECT_EQ(spec->start_address, 0x1000u) << name;
        EXPECT_EQ(spec->page, 1) << name;
    }
    EXPECT_EQ(spec_named(".cinit")->flags, SPEC_BOOT | SPEC_RAM_CINIT | SPEC_MOVED);
    EXPECT_EQ(spec_named(".text")->flags, SPEC_BOOT | SPEC_MOVED);
}

TEST_F(SectionList, BootLoadedCinitLosesOnlyTies) {
    options().boot_org = 0x1000;
    add_section(".cinit", 0x10, 8, STYP_COPY);
    add_section(".text", 0x200, 0x10);
    add_section(".data", 0x300, 4);
    add_section(".low", 0x400, 4);
    add_section(".high", 0x500, 4);
    begin_sections();
    select(".cinit", ALL_ONES, true);
    select(".text", ALL_ONES, true);
    select(".data", 0x1000);  // not boot-loaded, at the boot origin
    select(".low", 0x800);
    select(".high", 0x2000);
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(array_names(), (Names{".low", ".text", ".data", ".cinit", ".high"}));
}

TEST_F(SectionList, CinitThatIsNotBootLoadedKeepsListOrder) {
    add_section(".cinit", 0x10, 8, STYP_COPY);
    add_section(".text", 0x200, 0x10);
    begin_sections();
    select(".cinit", 0x500);
    select(".text", 0x500);
    complete_capturing();
    EXPECT_EQ(array_names(), (Names{".cinit", ".text"}));
}

TEST_F(SectionList, BootPageComparesSigned) {
    options().boot_org = 0x5000;
    options().boot_page = -2;
    add_section(".text", 0x0, 4);
    add_section(".boot", 0x100, 4);
    begin_sections();
    select(".text");
    select(".boot", ALL_ONES, true);
    complete_capturing();
    EXPECT_EQ(array_names(), (Names{".boot", ".text"}));
    EXPECT_EQ(spec_named(".boot")->page, -2);
}

TEST_F(SectionList, BootSectionOption) {
    options().boot_all = true;
    options().boot_org = 0x1000;
    options().boot_section_name = "loader";
    options().boot_section_address = 0x40;
    add_section(".text", 0x100, 0x10);
    add_section("loader", 0x2000, 0x20);
    add_section(".data", 0x200, 4);
    // The loader section is skipped by the walk, so there is no duplicate.
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 3);
    const SectionSpec* loader = first_section_spec();
    EXPECT_EQ(loader->name, "loader");
    EXPECT_FALSE(loader->boot_loaded());
    EXPECT_EQ(loader->address, 0x40u);
    EXPECT_EQ(loader->start_address, 0x40u);
    EXPECT_TRUE(spec_named(".text")->boot_loaded());
    EXPECT_EQ(array_names(), (Names{"loader", ".text", ".data"}));
}

TEST_F(SectionList, BootSectionWithoutBootOptionIsIgnored) {
    options().boot_section_name = "loader";
    options().boot_section_address = 0x40;
    add_section("loader", 0x2000, 0x20);
    add_section(".text", 0x100, 0x10);
    complete_capturing();
    EXPECT_EQ(spec_named("loader")->address, 0x2000u);
    EXPECT_EQ(array_names(), (Names{".text", "loader"}));
}

// ---------------------------------------------------------------------------
// RAM-model .cinit.

TEST_F(SectionList, RamModelCinitTakesBssAddressAndPage) {
    add_section(".cinit", 0x40, 0x20, STYP_COPY);
    add_section(".bss", 0x9000, 0x100, 0, 3, false);
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 1);
    const SectionSpec* cinit = spec_named(".cinit");
    EXPECT_EQ(cinit->flags, SPEC_RAM_CINIT | SPEC_MOVED);
    EXPECT_EQ(cinit->address, 0x9000u);
    EXPECT_EQ(cinit->start_address, 0x9000u);
    EXPECT_EQ(cinit->page, 3);
}

TEST_F(SectionList, RamModelCinitWithoutBss) {
    add_section(".cinit", 0x40, 0x20, STYP_COPY, 1);
    complete_capturing();
    const SectionSpec* cinit = spec_named(".cinit");
    EXPECT_EQ(cinit->flags, SPEC_RAM_CINIT | SPEC_MOVED);
    EXPECT_EQ(cinit->address, 0x40u);
    EXPECT_EQ(cinit->page, 1);
}

TEST_F(SectionList, CinitRuleNeedsCopyFlagAndName) {
    add_section(".cinit", 0x40, 0x20);              // not a copy section
    add_section(".other", 0x80, 0x20, STYP_COPY);   // copy section, other name
    add_section(".bss", 0x9000, 0x100, 0, 0, false);
    complete_capturing();
    EXPECT_EQ(spec_named(".cinit")->flags, SPEC_MOVED);
    EXPECT_EQ(spec_named(".cinit")->address, 0x40u);
    EXPECT_EQ(spec_named(".other")->flags, SPEC_MOVED);
    EXPECT_EQ(spec_named(".other")->address, 0x80u);
}

TEST_F(SectionList, RamModelCinitUnderImage) {
    options().image = true;
    add_section(".cinit", 0x40, 0x20, STYP_COPY, 2);
    add_section(".bss", 0x9000, 0x100, 0, 3, false);
    add_section(".text", 0x100, 4);
    EXPECT_EQ(complete_capturing(), W + "can't convert RAM-model .cinit with -image\n");
    // Linked and counted, but neither flagged nor given an address or page.
    EXPECT_EQ(converted_section_count(), 2);
    const SectionSpec* cinit = spec_named(".cinit");
    EXPECT_TRUE(cinit->linked());
    EXPECT_EQ(cinit->flags, SPEC_MOVED);
    EXPECT_EQ(cinit->address, ALL_ONES);
    EXPECT_EQ(cinit->page, 0);
    // With no address it sorts behind .text.
    EXPECT_EQ(array_names(), (Names{".text", ".cinit", ".bss"}));
}

TEST_F(SectionList, RamModelCinitUnderImageKeepsSectionsAddress) {
    options().image = true;
    add_section(".cinit", 0x40, 0x20, STYP_COPY, 2);
    begin_sections();
    select(".cinit", 0x500);
    EXPECT_EQ(complete_capturing(), W + "can't convert RAM-model .cinit with -image\n");
    EXPECT_EQ(spec_named(".cinit")->address, 0x500u);
    EXPECT_EQ(spec_named(".cinit")->page, 0);  // the page is left as it was
}

TEST_F(SectionList, BootLoadedCinitUnderImage) {
    options().image = true;
    options().boot_org = 0x1000;
    add_section(".cinit", 0x40, 0x20, STYP_COPY);
    begin_sections();
    select(".cinit", ALL_ONES, true);
    EXPECT_EQ(complete_capturing(), "");
    const SectionSpec* cinit = spec_named(".cinit");
    EXPECT_EQ(cinit->flags, SPEC_BOOT | SPEC_RAM_CINIT | SPEC_MOVED);
    EXPECT_EQ(cinit->address, 0x1000u);
}

// ---------------------------------------------------------------------------
// Linker fill sections.

class LinkerFill : public SectionList {
protected:
    void SetUp() override {
        SectionList::SetUp();
        begin_roms();
        new_range("rom");
        set_origin(0x1000);
        set_length(0x100);  // last address 0x10FF
        finish_range();
        add_section(".text", 0x1000, 0x10);
        add_section("$fill000", 0x1010, 0xF0);  // last byte on the range's last address
        add_section("$fill001", 0x2000, 4);     // outside every range
        add_section("$fill002", 0x10F0, 0x11);  // one byte past the range
        add_section("$fill003", 0x0F00, 4);     // below the origin
    }
};

TEST_F(LinkerFill, AddsFillSectionsInsideRanges) {
    options().linker_fill = true;
    begin_sections();
    select(".text");
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 2);
    Names listed;
    for (const SectionSpec* spec = first_section_spec(); spec != nullptr; spec = spec->next) {
        listed.push_back(spec->name);
    }
    EXPECT_EQ(listed, (Names{".text", "$fill000"}));
    EXPECT_EQ(array_names(), (Names{".text", "$fill000", "$fill001", "$fill002", "$fill003"}));
    EXPECT_EQ(spec_named("$fill000")->address, 0x1010u);
}

TEST_F(LinkerFill, WithoutTheOptionOnlyNamedFillSections) {
    begin_sections();
    select(".text");
    select("$fill001");
    complete_capturing();
    EXPECT_EQ(converted_section_count(), 2);
    EXPECT_EQ(spec_named("$fill000"), nullptr);
    EXPECT_EQ(converted_names(2), (Names{".text", "$fill001"}));
}

TEST_F(LinkerFill, WithDefaultSelectionEachFillSectionIsADuplicate) {
    options().linker_fill = true;
    EXPECT_EQ(complete_capturing(), W + "duplicate section name '$fill000' (ignored)\n");
    EXPECT_EQ(converted_section_count(), 5);
}

// ---------------------------------------------------------------------------
// Bootstrap section and the reordered array.

TEST_F(SectionList, BootstrapSectionComesFirst) {
    options().bootstrap_section = "boot2";
    add_section(".text", 0x100, 4);
    add_section(".data", 0x200, 4);
    add_section("boot2", 0x300, 4);
    add_section(".bss", 0x50, 4, 0, 0, false);
    complete_capturing();
    EXPECT_EQ(array_names(), (Names{"boot2", ".text", ".data", ".bss"}));
    EXPECT_EQ(spec_named("boot2")->section, 0);
    EXPECT_EQ(spec_for_section(0), spec_named("boot2"));
    EXPECT_EQ(spec_for_section(2), spec_named(".data"));
    EXPECT_EQ(spec_for_section(3), nullptr);
}

TEST_F(SectionList, BootstrapSectionNotSelectedIsFatal) {
    options().bootstrap_section = "boot2";
    add_section(".text", 0x100, 4);
    add_section("boot2", 0x300, 4);
    begin_sections();
    select(".text");
    CaptureStderr();
    EXPECT_THROW(complete_section_list(), RunAbort);
    EXPECT_EQ(GetCapturedStderr(), F + "bootstrap section boot2 not found (aborting)\n");
}

TEST_F(SectionList, BootstrapSectionWithoutDataIsFatal) {
    options().bootstrap_section = "boot2";
    add_section(".text", 0x100, 4);
    add_section("boot2", 0x300, 4, 0, 0, false);
    CaptureStderr();
    EXPECT_THROW(complete_section_list(), RunAbort);
    EXPECT_EQ(GetCapturedStderr(), F + "bootstrap section boot2 not found (aborting)\n");
}

TEST_F(SectionList, BootstrapNameIsCaseSensitive) {
    options().bootstrap_section = "MySect";
    add_section("mysect", 0x300, 4);
    CaptureStderr();
    EXPECT_THROW(complete_section_list(), RunAbort);
    EXPECT_EQ(GetCapturedStderr(), F + "bootstrap section MySect not found (aborting)\n");
}

TEST_F(SectionList, OrderingAgainChangesNothing) {
    options().bootstrap_section = "boot2";
    add_section(".text", 0x100, 4);
    add_section("unused", 0x10, 4, STYP_NOLOAD);
    add_section(".data", 0x50, 4);
    add_section("boot2", 0x300, 4);
    complete_capturing();
    const Names first = array_names();
    EXPECT_EQ(first, (Names{"boot2", ".data", ".text", "unused"}));
    order_section_array();
    EXPECT_EQ(array_names(), first);
    EXPECT_EQ(spec_named(".text")->section, 2);
    EXPECT_EQ(spec_for_section(2), spec_named(".text"));
    EXPECT_EQ(converted_section_count(), 3);
}

TEST_F(SectionList, SpecForSectionOutsideTheArray) {
    EXPECT_EQ(spec_for_section(0), nullptr);
    add_section(".text", 0x100, 4);
    complete_capturing();
    EXPECT_EQ(spec_for_section(-1), nullptr);
    EXPECT_EQ(spec_for_section(1), nullptr);
    EXPECT_EQ(spec_for_section(0), spec_named(".text"));
    reset_section_list();
    EXPECT_EQ(spec_for_section(0), nullptr);
    EXPECT_EQ(converted_section_count(), 0);
}

TEST_F(SectionList, SectionFlagsAllOnesSurviveTheReorder) {
    // A header whose low flag bits are all ones is still copied behind the
    // converted sections (it is never converted: bits 0x1 and 0x2 are set).
    add_section("odd", 0x10, 4, 0xFFFF);
    add_section(".text", 0x100, 4);
    complete_capturing();
    EXPECT_EQ(array_names(), (Names{".text", "odd"}));
    EXPECT_EQ(coff_input().sections[1].flags, 0xFFFFu);
}

// ---------------------------------------------------------------------------
// -exclude.

TEST_F(SectionList, ExcludedSectionsAreNotSelected) {
    add_exclude(".debug*");
    add_exclude("*.tmp");
    add_exclude(".data");
    add_section(".text", 0x100, 4);
    add_section(".debug_info", 0x200, 4);
    add_section(".data", 0x300, 4);
    add_section("x.tmp", 0x400, 4);
    add_section(".data2", 0x500, 4);
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 2);
    EXPECT_EQ(spec_named(".debug_info"), nullptr);
    EXPECT_EQ(spec_named(".data"), nullptr);
    EXPECT_EQ(spec_named("x.tmp"), nullptr);
    EXPECT_EQ(array_names(), (Names{".text", ".data2", ".debug_info", ".data", "x.tmp"}));
}

TEST_F(SectionList, BootSectionAndFillSectionsIgnoreExcludePatterns) {
    add_exclude("loader");
    add_exclude("$fill*");
    options().boot_all = true;
    options().boot_org = 0x1000;
    options().boot_section_name = "loader";
    options().boot_section_address = 0x40;
    options().linker_fill = true;
    begin_roms();
    new_range("rom");
    set_origin(0);
    set_length(0x10000);
    finish_range();
    add_section("loader", 0x2000, 0x20);
    add_section("$fill000", 0x3000, 0x10);
    add_section(".text", 0x100, 4);
    EXPECT_EQ(complete_capturing(), "");
    EXPECT_EQ(converted_section_count(), 3);
    EXPECT_EQ(spec_named("loader")->address, 0x40u);
    // Excluded from the default selection, then added as a fill section
    // (not boot-loaded, so at its own address 0x3000, behind the boot-loaded
    // .text at 0x1000) without a duplicate warning.
    EXPECT_FALSE(spec_named("$fill000")->boot_loaded());
    EXPECT_EQ(array_names(), (Names{"loader", ".text", "$fill000"}));
}
