// The configuration dialog's template, read back from the library's resources field by field:
// caption, size, font, style, and every control's class, text, id, style and position.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Reads a DLGTEMPLATE (the classic, non-extended form) from its bytes.
class TemplateReader {
  public:
    TemplateReader(const void* data, std::size_t size)
        : bytes_(static_cast<const std::uint8_t*>(data)), size_(size) {}

    std::uint16_t word() {
        if (pos_ + 2 > size_) throw std::runtime_error("template ends early");
        const std::uint16_t value =
            static_cast<std::uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
        pos_ += 2;
        return value;
    }
    std::uint32_t dword() {
        const std::uint32_t low = word();
        return low | static_cast<std::uint32_t>(word()) << 16;
    }
    std::int16_t shortValue() { return static_cast<std::int16_t>(word()); }
    // A string, or an ordinal written as 0xFFFF followed by its value ("#value").
    std::string stringOrOrdinal() {
        const std::uint16_t first = word();
        if (first == 0xFFFF) return "#" + std::to_string(word());
        std::string text;
        for (std::uint16_t c = first; c != 0; c = word())
            text.push_back(static_cast<char>(c));
        return text;
    }
    void alignToDword() { pos_ = (pos_ + 3) & ~std::size_t{3}; }

  private:
    const std::uint8_t* bytes_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The predefined control classes may be stored as atoms.
std::string className(const std::string& stored) {
    if (stored == "#128") return "button";
    if (stored == "#130") return "static";
    return lower(stored);
}

struct Control {
    std::string className;
    std::string text;
    int id;
    std::uint32_t style;
    int x, y, cx, cy;
};

TEST(DialogTemplate, MatchesTheConfigurationDialog) {
    HMODULE dll = LoadLibraryExA(LUMACORE_DLL_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(dll, nullptr);
    HRSRC resource = FindResourceA(dll, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)); // RT_DIALOG
    ASSERT_NE(resource, nullptr);
    const void* data = LockResource(LoadResource(dll, resource));
    ASSERT_NE(data, nullptr);
    TemplateReader reader(data, SizeofResource(dll, resource));

    const std::uint32_t style = reader.dword();
    EXPECT_EQ(style, 0x80C800C0u);
    EXPECT_EQ(reader.dword(), 0u); // extended style
    const int count = reader.word();
    EXPECT_EQ(reader.shortValue(), 0);
    EXPECT_EQ(reader.shortValue(), 0);
    EXPECT_EQ(reader.shortValue(), 242);
    EXPECT_EQ(reader.shortValue(), 115);
    EXPECT_EQ(reader.stringOrOrdinal(), ""); // no menu
    EXPECT_EQ(reader.stringOrOrdinal(), ""); // the standard dialog class
    EXPECT_EQ(reader.stringOrOrdinal(), "Configuration");
    EXPECT_EQ(reader.word(), 8); // point size
    EXPECT_EQ(reader.stringOrOrdinal(), "MS Sans Serif");

    std::vector<Control> controls;
    for (int i = 0; i < count; ++i) {
        reader.alignToDword();
        Control c;
        c.style = reader.dword();
        EXPECT_EQ(reader.dword(), 0u) << "control " << i << " extended style";
        c.x = reader.shortValue();
        c.y = reader.shortValue();
        c.cx = reader.shortValue();
        c.cy = reader.shortValue();
        c.id = static_cast<std::int16_t>(reader.word());
        c.className = className(reader.stringOrOrdinal());
        c.text = reader.stringOrOrdinal();
        const std::uint16_t extra = reader.word();
        for (std::uint16_t skip = 0; skip < extra; skip += 2)
            reader.word();
        controls.push_back(c);
    }

    const std::vector<Control> expected = {
        {"button", "OK", 1, 0x50010001, 185, 7, 50, 14},
        {"button", "Cancel", 2, 0x50010000, 185, 24, 50, 14},
        {"msctls_trackbar32", "Slider1", 1000, 0x50010018, 5, 20, 108, 13},
        {"static", "Brightness Bias", -1, 0x50020000, 10, 10, 72, 10},
        {"msctls_trackbar32", "Slider1", 1002, 0x50010019, 5, 50, 108, 13},
        {"static", "Speed", -1, 0x50020000, 10, 40, 72, 10},
        {"button", "Lumacore Type", -1, 0x50000007, 10, 65, 100, 40},
        {"button", "2D", 1008, 0x50000009, 20, 75, 45, 10},
        {"static", "", -1, 0x50020000, 125, 75, 100, 25}, // the credit: checked below
        {"button", "", -1, 0x50000007, 120, 65, 110, 40},
        {"button", "3D", 1009, 0x50000009, 20, 90, 80, 10},
    };
    ASSERT_EQ(controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        EXPECT_EQ(controls[i].className, expected[i].className);
        if (i != 8) {
            EXPECT_EQ(controls[i].text, expected[i].text);
        }
        EXPECT_EQ(controls[i].id, expected[i].id);
        EXPECT_EQ(controls[i].style, expected[i].style);
        EXPECT_EQ(controls[i].x, expected[i].x);
        EXPECT_EQ(controls[i].y, expected[i].y);
        EXPECT_EQ(controls[i].cx, expected[i].cx);
        EXPECT_EQ(controls[i].cy, expected[i].cy);
    }
    // The credit names the project's authors on its first line and has a second line.
    EXPECT_EQ(controls[8].text.rfind("By the Lumacore authors\n", 0), 0u) << controls[8].text;
    FreeLibrary(dll);
}

} // namespace
