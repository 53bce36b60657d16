// The section list: default selection, SECTIONS, -boot and -bootsection,
// RAM-model .cinit, linker fill sections, the bootstrap section, -exclude,
// and the order in which the sections of a real COFF file are converted.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cmdfile/roms.h"
#include "cmdfile/sections.h"
#include "coff/coff.h"
#include "diag/common.h"
#include "diag/diag.h"
#include "image/section_list.h"
#include "support/capture.h"
#include "support/harness.h"

using namespace coffhex;

namespace {

const std::string W = ">> WARNING: ";
const std::string F = ">> FATAL ERROR: ";

using Names = std::vector<std::string>;

class SectionList : public ::testing::Test {
protected:
    void SetUp() override {
        settings.coff_file_name = "app.out";
        settings.exclude = &exclude;
    }

    // Adds a section header to the input file: physical and virtual address
    // equal, `size` bytes of raw data unless the size is 0 or `has_data` is
    // false. Names longer than eight characters go to the string table.
    void add_section(const char* name, uint32_t address, uint32_t size, uint32_t flags = 0,
                     uint16_t page = 0, bool has_data = true) {
        char line[160];
        std::snprintf(line, sizeof line, "section %s paddr=0x%x flags=0x%x page=%u", name, address,
                      flags, page);
        description += line;
        if (!has_data) description += " size=" + std::to_string(size) + " nodata";
        description += "\n";
        if (has_data && size != 0) description += "  fill " + std::to_string(size) + " 0\n";
    }

    // One SECTIONS item: the name, then paddr (unless all ones), then the
    // boot mark.
    void select(const char* name, uint32_t paddr = ALL_ONES, bool boot = false) {
        selection.new_section_spec(name);
        if (paddr != ALL_ONES) selection.set_paddr(paddr);
        if (boot) selection.set_boot();
        selection.append_section_spec();
    }

    // Writes and reads the input file, then completes the list; returns
    // everything written to standard error so far. The file gets a symbol:
    // the string table that holds long section names is read behind the
    // symbol table.
    std::string complete() {
        const std::string path = dir.file("app.out");
        testsupport::write_coff(path, description + "symbol _main 0x0\n");
        coff = std::make_unique<CoffFile>(std::fopen(path.c_str(), "rb"), captured.diag);
        coff->read_headers(false);
        order = complete_section_list(selection, *coff, memory.first_range(), settings, captured.diag);
        return captured.err();
    }

    // Names of the input sections in conversion order.
    Names order_names() const {
        Names names;
        for (int index : order.order) names.push_back(coff->sections()[static_cast<size_t>(index)].name);
        return names;
    }
    // Names of the entries linked to the first `count` sections in
    // conversion order.
    Names converted_names(size_t count) const {
        Names names;
        for (size_t i = 0; i < count && i < order.order.size(); ++i) {
            const SectionSpec* spec = order.spec_for_section(order.order[i]);
            names.push_back(spec != nullptr ? spec->name : "(none)");
        }
        return names;
    }
    SectionSpec* spec_named(const std::string& name) {
        for (SectionSpec* spec = selection.first(); spec != nullptr; spec = spec->next)
            if (spec->name == name) return spec;
        return nullptr;
    }

    testsupport::TempDir dir;
    testsupport::CapturedDiagnostics captured;
    SectionSelection selection{captured.diag};
    MemoryConfig memory{captured.diag};
    SectionListSettings settings;
    std::vector<ExcludePattern> exclude;
    std::string description;
    std::unique_ptr<CoffFile> coff;
    ConversionOrder order;
};

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

    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order.converted, 4);
    // Converted sections first, by page and address; the others follow in
    // their file order; every section is there once.
    EXPECT_EQ(order_names(), (Names{".data", ".const", ".text", ".page1", ".bss", ".empty",
                                    ".dsect", ".noload"}));
    EXPECT_EQ(converted_names(8), (Names{".data", ".const", ".text", ".page1", "(none)", "(none)",
                                         "(none)", "(none)"}));

    // Every section of the file was selected; unlinked ones stay in the list.
    EXPECT_EQ(spec_named(".bss")->section, -1);
    EXPECT_EQ(spec_named(".bss")->address, ALL_ONES);
    EXPECT_EQ(spec_named(".empty")->section, -1);

    // An entry is linked to its section's index in the file.
    const SectionSpec* data = spec_named(".data");
    EXPECT_EQ(data->section, 1);
    EXPECT_EQ(data->address, 0x50u);
    EXPECT_EQ(data->page, 0);
    EXPECT_EQ(data->datawidth, 1);
    EXPECT_EQ(data->flags, SPEC_MOVED);
    EXPECT_EQ(spec_named(".page1")->page, 1);
    EXPECT_EQ(spec_named(".page1")->section, 6);
}

TEST_F(SectionList, NothingToConvert) {
    add_section(".bss", 0x100, 0x20, 0, 0, false);
    add_section(".empty", 0x10, 0);
    add_section(".dsect", 0x20, 4, STYP_DSECT);
    add_section(".noload", 0x30, 4, STYP_NOLOAD);
    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order.converted, 0);
    EXPECT_EQ(order_names(), (Names{".bss", ".empty", ".dsect", ".noload"}));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(order.spec_for_section(i), nullptr);
}

TEST_F(SectionList, DataWidthDefault) {
    settings.data_width = 2;
    add_section("a", 0x100, 4);
    add_section("b", 0x200, 4);
    selection.begin_sections();
    selection.new_section_spec("a");
    selection.set_datawidth(32);
    selection.append_section_spec();
    select("b");
    select("missing");
    complete();
    EXPECT_EQ(spec_named("a")->datawidth, 4);
    EXPECT_EQ(spec_named("b")->datawidth, 2);
    EXPECT_EQ(spec_named("missing")->datawidth, 2);
}

TEST_F(SectionList, SameAddressKeepsFileOrder) {
    add_section("a", 0x100, 4);
    add_section("b", 0x100, 4);
    add_section("c", 0x100, 4);
    add_section("low", 0x80, 4);
    complete();
    EXPECT_EQ(order_names(), (Names{"low", "a", "b", "c"}));
}

TEST_F(SectionList, AddressesCompareUnsigned) {
    add_section("hi", 0x80000000u, 4);
    add_section("lo", 0x10, 4);
    complete();
    EXPECT_EQ(order_names(), (Names{"lo", "hi"}));
}

TEST_F(SectionList, FirstSectionOfANameWins) {
    add_section(".text", 0x200, 4);
    add_section(".text", 0x100, 4);
    // The default selection names .text twice; the second is dropped, and
    // the entry is linked to the first section of the name (0x200).
    EXPECT_EQ(complete(), W + "duplicate section name '.text' (ignored)\n");
    EXPECT_EQ(order.converted, 1);
    EXPECT_EQ(order.order, (std::vector<int>{0, 1}));
    EXPECT_EQ(order.spec_for_section(0), spec_named(".text"));
    EXPECT_EQ(spec_named(".text")->address, 0x200u);
    EXPECT_EQ(order.spec_for_section(1), nullptr);
}

TEST_F(SectionList, LongAndEightCharacterNames) {
    add_section(".text_in_string_table", 0x300, 4);
    add_section("abcdefgh", 0x100, 4);
    selection.begin_sections();
    select(".text_in_string_table");
    select("abcdefgh");
    select("abcdefg");
    EXPECT_EQ(complete(), W + "section abcdefg not found in app.out\n");
    EXPECT_EQ(order.converted, 2);
    EXPECT_EQ(converted_names(2), (Names{"abcdefgh", ".text_in_string_table"}));
}

TEST_F(SectionList, SpecForSectionOutsideTheList) {
    EXPECT_EQ(order.spec_for_section(0), nullptr);
    add_section(".text", 0x100, 4);
    complete();
    EXPECT_EQ(order.spec_for_section(-1), nullptr);
    EXPECT_EQ(order.spec_for_section(1), nullptr);
    EXPECT_EQ(order.spec_for_section(0), spec_named(".text"));
}

// ---------------------------------------------------------------------------
// SECTIONS and -boot.

TEST_F(SectionList, SectionsDirectiveSelectsOnlyItsNames) {
    add_section(".text", 0x100, 0x10, 0, 2);
    add_section(".data", 0x50, 8);
    selection.begin_sections();
    select(".text", 0x8000);
    select("nosuch");
    EXPECT_EQ(complete(), W + "section nosuch not found in app.out\n");
    EXPECT_EQ(order.converted, 1);
    EXPECT_EQ(order_names(), (Names{".text", ".data"}));
    const SectionSpec* text = spec_named(".text");
    // The address from SECTIONS stays; the page always comes from the section.
    EXPECT_EQ(text->address, 0x8000u);
    EXPECT_EQ(text->page, 2);
    EXPECT_EQ(spec_named("nosuch")->section, -1);
    EXPECT_EQ(spec_named(".data"), nullptr);
}

TEST_F(SectionList, DirectiveNamingOnlyMissingSections) {
    add_section(".text", 0x100, 0x10);
    selection.begin_sections();
    select("one");
    select("two");
    EXPECT_EQ(complete(), W + "section one not found in app.out\n" + W +
                              "section two not found in app.out\n");
    EXPECT_EQ(order.converted, 0);
}

TEST_F(SectionList, SectionNamedTwiceConvertsOnce) {
    add_section(".text", 0x100, 0x10);
    selection.begin_sections();
    select(".text");
    select(".text", 0x500);
    EXPECT_EQ(captured.err(), W + "duplicate section name '.text' (ignored)\n");
    EXPECT_EQ(complete(), W + "duplicate section name '.text' (ignored)\n");
    EXPECT_EQ(order.converted, 1);
    EXPECT_EQ(spec_named(".text")->address, 0x100u);
}

TEST_F(SectionList, BootOptionOverriddenBySections) {
    settings.boot_all = true;
    settings.boot_org = 0x1000;
    add_section(".text", 0x100, 0x10);
    add_section(".data", 0x50, 8);
    selection.begin_sections();
    select(".text");
    EXPECT_EQ(complete(), W + "-boot option ignored and overridden by SECTIONS directive\n");
    EXPECT_EQ(order.converted, 1);
    EXPECT_FALSE(spec_named(".text")->boot_loaded());
    EXPECT_EQ(spec_named(".text")->address, 0x100u);
}

TEST_F(SectionList, EmptySectionsDirectiveKeepsDefaultSelection) {
    settings.boot_all = true;
    settings.boot_org = 0x1000;
    add_section(".text", 0x100, 0x10);
    selection.begin_sections();
    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order.converted, 1);
    EXPECT_TRUE(spec_named(".text")->boot_loaded());
}

TEST_F(SectionList, BootAllPlacesEverySectionAtTheBootOrigin) {
    settings.boot_all = true;
    settings.boot_org = 0x1000;
    settings.boot_page = 1;
    add_section(".cinit", 0x10, 8, STYP_COPY);
    add_section(".text", 0x200, 0x10);
    add_section(".data", 0x300, 4);
    add_section(".bss", 0x800, 0x40, 0, 0, false);
    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order.converted, 3);
    // All three share page 1 and address 0x1000: list order, except that the
    // boot-loaded .cinit goes last.
    EXPECT_EQ(order_names(), (Names{".text", ".data", ".cinit", ".bss"}));
    for (const char* name : {".cinit", ".text", ".data"}) {
        const SectionSpec* spec = spec_named(name);
        EXPECT_TRUE(spec->boot_loaded()) << name;
        EXPECT_EQ(spec->address, 0x1000u) << name;
        EXPECT_EQ(spec->page, 1) << name;
    }
    EXPECT_EQ(spec_named(".cinit")->flags, SPEC_BOOT | SPEC_RAM_CINIT | SPEC_MOVED);
    EXPECT_EQ(spec_named(".text")->flags, SPEC_BOOT | SPEC_MOVED);
}

TEST_F(SectionList, BootLoadedCinitLosesOnlyTies) {
    settings.boot_org = 0x1000;
    add_section(".cinit", 0x10, 8, STYP_COPY);
    add_section(".text", 0x200, 0x10);
    add_section(".data", 0x300, 4);
    add_section(".low", 0x400, 4);
    add_section(".high", 0x500, 4);
    selection.begin_sections();
    select(".cinit", ALL_ONES, true);
    select(".text", ALL_ONES, true);
    select(".data", 0x1000);  // not boot-loaded, at the boot origin
    select(".low", 0x800);
    select(".high", 0x2000);
    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order_names(), (Names{".low", ".text", ".data", ".cinit", ".high"}));
}

TEST_F(SectionList, CinitThatIsNotBootLoadedKeepsListOrder) {
    add_section(".cinit", 0x10, 8, STYP_COPY);
    add_section(".text", 0x200, 0x10);
    selection.begin_sections();
    select(".cinit", 0x500);
    select(".text", 0x500);
    complete();
    EXPECT_EQ(order_names(), (Names{".cinit", ".text"}));
}

TEST_F(SectionList, BootPageComparesSigned) {
    settings.boot_org = 0x5000;
    settings.boot_page = -2;
    add_section(".text", 0x0, 4);
    add_section(".boot", 0x100, 4);
    selection.begin_sections();
    select(".text");
    select(".boot", ALL_ONES, true);
    complete();
    EXPECT_EQ(order_names(), (Names{".boot", ".text"}));
    EXPECT_EQ(spec_named(".boot")->page, -2);
}

TEST_F(SectionList, BootSectionOption) {
    settings.boot_all = true;
    settings.boot_org = 0x1000;
    settings.boot_section_name = "loader";
    settings.boot_section_address = 0x40;
    add_section(".text", 0x100, 0x10);
    add_section("loader", 0x2000, 0x20);
    add_section(".data", 0x200, 4);
    // The loader section is skipped by the walk, so there is no duplicate.
    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order.converted, 3);
    const SectionSpec* loader = selection.first();
    EXPECT_EQ(loader->name, "loader");
    EXPECT_FALSE(loader->boot_loaded());
    EXPECT_EQ(loader->address, 0x40u);
    EXPECT_TRUE(spec_named(".text")->boot_loaded());
    EXPECT_EQ(order_names(), (Names{"loader", ".text", ".data"}));
}

TEST_F(SectionList, BootSectionWithoutBootOptionIsIgnored) {
    settings.boot_section_name = "loader";
    settings.boot_section_address = 0x40;
    add_section("loader", 0x2000, 0x20);
    add_section(".text", 0x100, 0x10);
    complete();
    EXPECT_EQ(spec_named("loader")->address, 0x2000u);
    EXPECT_EQ(order_names(), (Names{".text", "loader"}));
}

// ---------------------------------------------------------------------------
// RAM-model .cinit.

TEST_F(SectionList, RamModelCinitTakesBssAddressAndPage) {
    add_section(".cinit", 0x40, 0x20, STYP_COPY);
    add_section(".bss", 0x9000, 0x100, 0, 3, false);
    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order.converted, 1);
    const SectionSpec* cinit = spec_named(".cinit");
    EXPECT_EQ(cinit->flags, SPEC_RAM_CINIT | SPEC_RECORDS | SPEC_MOVED);
    EXPECT_EQ(cinit->address, 0x9000u);
    EXPECT_EQ(cinit->page, 3);
}

TEST_F(SectionList, RamModelCinitWithoutBss) {
    add_section(".cinit", 0x40, 0x20, STYP_COPY, 1);
    complete();
    const SectionSpec* cinit = spec_named(".cinit");
    EXPECT_EQ(cinit->flags, SPEC_RAM_CINIT | SPEC_RECORDS | SPEC_MOVED);
    EXPECT_EQ(cinit->address, 0x40u);
    EXPECT_EQ(cinit->page, 1);
}

TEST_F(SectionList, CinitRuleNeedsCopyFlagAndName) {
    add_section(".cinit", 0x40, 0x20);             // not a copy section
    add_section(".other", 0x80, 0x20, STYP_COPY);  // copy section, other name
    add_section(".bss", 0x9000, 0x100, 0, 0, false);
    complete();
    EXPECT_EQ(spec_named(".cinit")->flags, SPEC_MOVED);
    EXPECT_EQ(spec_named(".cinit")->address, 0x40u);
    EXPECT_EQ(spec_named(".other")->flags, SPEC_MOVED);
    EXPECT_EQ(spec_named(".other")->address, 0x80u);
}

TEST_F(SectionList, RamModelCinitUnderImage) {
    settings.image = true;
    add_section(".cinit", 0x40, 0x20, STYP_COPY, 2);
    add_section(".bss", 0x9000, 0x100, 0, 3, false);
    add_section(".text", 0x100, 4);
    EXPECT_EQ(complete(), W + "can't convert RAM-model .cinit with -image\n");
    // Linked and counted, but neither flagged nor given an address or page.
    EXPECT_EQ(order.converted, 2);
    const SectionSpec* cinit = spec_named(".cinit");
    EXPECT_TRUE(cinit->linked());
    EXPECT_EQ(cinit->flags, SPEC_MOVED);
    EXPECT_EQ(cinit->address, ALL_ONES);
    EXPECT_EQ(cinit->page, 0);
    // With no address it sorts behind .text.
    EXPECT_EQ(order_names(), (Names{".text", ".cinit", ".bss"}));
}

TEST_F(SectionList, RamModelCinitUnderImageKeepsSectionsAddress) {
    settings.image = true;
    add_section(".cinit", 0x40, 0x20, STYP_COPY, 2);
    selection.begin_sections();
    select(".cinit", 0x500);
    EXPECT_EQ(complete(), W + "can't convert RAM-model .cinit with -image\n");
    EXPECT_EQ(spec_named(".cinit")->address, 0x500u);
    EXPECT_EQ(spec_named(".cinit")->page, 0);  // the page is left as it was
}

TEST_F(SectionList, BootLoadedCinitUnderImage) {
    settings.image = true;
    settings.boot_org = 0x1000;
    add_section(".cinit", 0x40, 0x20, STYP_COPY);
    selection.begin_sections();
    select(".cinit", ALL_ONES, true);
    EXPECT_EQ(complete(), "");
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
        memory.begin_roms();
        memory.new_range("rom");
        memory.set_origin(0x1000);
        memory.set_length(0x100);  // last address 0x10FF
        memory.finish_range(false);
        add_section(".text", 0x1000, 0x10);
        add_section("$fill000", 0x1010, 0xF0);  // last byte on the range's last address
        add_section("$fill001", 0x2000, 4);     // outside every range
        add_section("$fill002", 0x10F0, 0x11);  // one byte past the range
        add_section("$fill003", 0x0F00, 4);     // below the origin
    }
};

TEST_F(LinkerFill, AddsFillSectionsInsideRanges) {
    settings.linker_fill = true;
    selection.begin_sections();
    select(".text");
    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order.converted, 2);
    Names listed;
    for (const SectionSpec* spec = selection.first(); spec != nullptr; spec = spec->next)
        listed.push_back(spec->name);
    EXPECT_EQ(listed, (Names{".text", "$fill000"}));
    EXPECT_EQ(order_names(), (Names{".text", "$fill000", "$fill001", "$fill002", "$fill003"}));
    EXPECT_EQ(spec_named("$fill000")->address, 0x1010u);
}

TEST_F(LinkerFill, WithoutTheOptionOnlyNamedFillSections) {
    selection.begin_sections();
    select(".text");
    select("$fill001");
    complete();
    EXPECT_EQ(order.converted, 2);
    EXPECT_EQ(spec_named("$fill000"), nullptr);
    EXPECT_EQ(converted_names(2), (Names{".text", "$fill001"}));
}

TEST_F(LinkerFill, WithDefaultSelectionEachFillSectionIsADuplicate) {
    settings.linker_fill = true;
    EXPECT_EQ(complete(), W + "duplicate section name '$fill000' (ignored)\n");
    EXPECT_EQ(order.converted, 5);
}

// ---------------------------------------------------------------------------
// Bootstrap section.

TEST_F(SectionList, BootstrapSectionComesFirst) {
    settings.bootstrap_section = "boot2";
    add_section(".text", 0x100, 4);
    add_section(".data", 0x200, 4);
    add_section("boot2", 0x300, 4);
    add_section(".bss", 0x50, 4, 0, 0, false);
    complete();
    EXPECT_EQ(order_names(), (Names{"boot2", ".text", ".data", ".bss"}));
    EXPECT_EQ(converted_names(4), (Names{"boot2", ".text", ".data", "(none)"}));
    EXPECT_EQ(order.converted, 3);
}

TEST_F(SectionList, BootstrapSectionNotSelectedIsFatal) {
    settings.bootstrap_section = "boot2";
    add_section(".text", 0x100, 4);
    add_section("boot2", 0x300, 4);
    selection.begin_sections();
    select(".text");
    EXPECT_THROW(complete(), RunAbort);
    EXPECT_EQ(captured.err(), F + "bootstrap section boot2 not found (aborting)\n");
}

TEST_F(SectionList, BootstrapSectionWithoutDataIsFatal) {
    settings.bootstrap_section = "boot2";
    add_section(".text", 0x100, 4);
    add_section("boot2", 0x300, 4, 0, 0, false);
    EXPECT_THROW(complete(), RunAbort);
    EXPECT_EQ(captured.err(), F + "bootstrap section boot2 not found (aborting)\n");
}

TEST_F(SectionList, BootstrapNameIsCaseSensitive) {
    settings.bootstrap_section = "MySect";
    add_section("mysect", 0x300, 4);
    EXPECT_THROW(complete(), RunAbort);
    EXPECT_EQ(captured.err(), F + "bootstrap section MySect not found (aborting)\n");
}

// ---------------------------------------------------------------------------
// -exclude.

TEST_F(SectionList, ExcludedSectionsAreNotSelected) {
    exclude = {{".debug", ExcludePattern::Prefix}, {".tmp", ExcludePattern::Suffix},
               {".data", ExcludePattern::Exact}};
    add_section(".text", 0x100, 4);
    add_section(".debug_info", 0x200, 4);
    add_section(".data", 0x300, 4);
    add_section("x.tmp", 0x400, 4);
    add_section(".data2", 0x500, 4);
    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order.converted, 2);
    EXPECT_EQ(spec_named(".debug_info"), nullptr);
    EXPECT_EQ(spec_named(".data"), nullptr);
    EXPECT_EQ(spec_named("x.tmp"), nullptr);
    EXPECT_EQ(order_names(), (Names{".text", ".data2", ".debug_info", ".data", "x.tmp"}));
}

TEST_F(SectionList, BootSectionAndFillSectionsIgnoreExcludePatterns) {
    exclude = {{"loader", ExcludePattern::Exact}, {"$fill", ExcludePattern::Prefix}};
    settings.boot_all = true;
    settings.boot_org = 0x1000;
    settings.boot_section_name = "loader";
    settings.boot_section_address = 0x40;
    settings.linker_fill = true;
    memory.begin_roms();
    memory.new_range("rom");
    memory.set_origin(0);
    memory.set_length(0x10000);
    memory.finish_range(false);
    add_section("loader", 0x2000, 0x20);
    add_section("$fill000", 0x3000, 0x10);
    add_section(".text", 0x100, 4);
    EXPECT_EQ(complete(), "");
    EXPECT_EQ(order.converted, 3);
    EXPECT_EQ(spec_named("loader")->address, 0x40u);
    // Excluded from the default selection, then added as a fill section
    // (not boot-loaded, so at its own address 0x3000, behind the boot-loaded
    // .text at 0x1000) without a duplicate warning.
    EXPECT_FALSE(spec_named("$fill000")->boot_loaded());
    EXPECT_EQ(order_names(), (Names{"loader", ".text", "$fill000"}));
}
