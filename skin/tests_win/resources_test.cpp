// The executable's own resources: skin pictures, dialog templates, menus.
#include "resources/resource_ids.h"
#include "widgets/core/skin_decode.h"
#include "widgets/tests/skin_table.h"
#include "widgets/win32/skin_bitmap.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

namespace {

// Reads a DLGTEMPLATEEX: the header, the font and every item.
class TemplateReader {
public:
    explicit TemplateReader(std::vector<uint8_t> data) : m_data(std::move(data)) {}
    uint16_t Word() { return Take<uint16_t>(); }
    uint32_t Dword() { return Take<uint32_t>(); }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    uint8_t Byte() { return Take<uint8_t>(); }
    // A name or an ordinal: ordinals come back as "#<number>".
    std::wstring NameOrOrdinal()
    {
        const uint16_t first = Word();
        if (first == 0)
            return L"";
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        m_at -= 2;
        return String();
    }
    std::wstring String()
    {
        std::wstring s;
        for (uint16_t c = Word(); c != 0; c = Word())
            s.push_back(static_cast<wchar_t>(c));
        return s;
    }
    void AlignDword() { m_at = (m_at + 3) & ~size_t(3); }
    void Skip(size_t n) { m_at += n; }
    bool Overrun() const { return m_at > m_data.size(); }

private:
    template <typename T>
    T Take()
    {
        T value = 0;
        if (m_at + sizeof(T) <= m_data.size())
            memcpy(&value, m_data.data() + m_at, sizeof(T));
        m_at += sizeof(T);
        return value;
    }
    std::vector<uint8_t> m_data;
    size_t m_at = 0;
};

// The part a template's header and each item share.
struct Placed {
    DWORD exStyle = 0, style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;

    void Read(TemplateReader& r)
    {
        r.Dword(); // help id
        exStyle = r.Dword();
        style = r.Dword();
    }
    void ReadBox(TemplateReader& r)
    {
        x = r.Short();
        y = r.Short();
        cx = r.Short();
        cy = r.Short();
    }
};

struct Item : Placed {
    DWORD id = 0;
    std::wstring className, text;
};

struct Template : Placed {
    std::wstring menu, className, title, face;
    int points = 0, weight = 0, italic = 0, charset = 0;
    std::vector<Item> items;
};

std::wstring ClassName(const std::wstring& raw)
{
    if (raw == L"#128")
        return L"BUTTON";
    if (raw == L"#130")
        return L"STATIC";
    std::wstring upper = raw;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(std::towupper(c));
    return upper;
}

bool ReadTemplate(int id, Template& t)
{
    std::vector<uint8_t> data = ReadModuleResource(id, MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (data.size() < 26)
        return false;
    TemplateReader r(std::move(data));
    if (r.Word() != 1 || r.Word() != 0xFFFF)
        return false; // not an extended template
    t.Read(r);
    const int count = r.Word();
    t.ReadBox(r);
    t.menu = r.NameOrOrdinal();
    t.className = r.NameOrOrdinal();
    t.title = r.String();
    if (t.style & (DS_SETFONT | DS_SHELLFONT)) {
        t.points = r.Word();
        t.weight = r.Word();
        t.italic = r.Byte();
        t.charset = r.Byte();
        t.face = r.String();
    }
    for (int i = 0; i < count; ++i) {
        r.AlignDword();
        Item item;
        item.Read(r);
        item.ReadBox(r);
        item.id = r.Dword();
        item.className = ClassName(r.NameOrOrdinal());
        item.text = r.NameOrOrdinal();
        r.Skip(r.Word());
        t.items.push_back(item);
    }
    return !r.Overrun();
}

void ExpectSmallFonts(const Template& t)
{
    EXPECT_EQ(t.face, L"Small Fonts");
    EXPECT_EQ(t.points, 5);
    EXPECT_EQ(t.weight, 400);
    EXPECT_EQ(t.italic, 0);
    EXPECT_EQ(t.charset, 0);
    EXPECT_EQ(t.title, L"");
    EXPECT_EQ(t.menu, L"");
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
}

void ExpectItem(const Item& item, DWORD id, const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y,
                int cx, int cy)
{
    SCOPED_TRACE(id);
    EXPECT_EQ(item.id, id);
    EXPECT_EQ(item.className, cls);
    EXPECT_EQ(item.text, text);
    EXPECT_EQ(item.style, style);
    EXPECT_EQ(item.exStyle, 0u);
    EXPECT_EQ(item.x, x);
    EXPECT_EQ(item.y, y);
    EXPECT_EQ(item.cx, cx);
    EXPECT_EQ(item.cy, cy);
}

struct MenuItemText {
    UINT id;
    std::wstring text;
};

void ExpectMenu(int id, const std::wstring& popup, const std::vector<MenuItemText>& items)
{
    SCOPED_TRACE(id);
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    wchar_t text[64] = {};
    GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), popup);
    HMENU sub = GetSubMenu(menu, 0);
    ASSERT_NE(sub, nullptr);
    ASSERT_EQ(GetMenuItemCount(sub), static_cast<int>(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(GetMenuItemID(sub, static_cast<int>(i)), items[i].id);
        GetMenuStringW(sub, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        EXPECT_EQ(std::wstring(text), items[i].text);
    }
    DestroyMenu(menu);
}

std::vector<uint8_t> BitmapBits(HBITMAP bitmap, int width, int height)
{
    std::vector<uint8_t> bits(static_cast<size_t>(width) * height * 4);
    GetBitmapBits(bitmap, static_cast<LONG>(bits.size()), bits.data());
    return bits;
}

} // namespace

TEST(SkinResources, EveryPictureLoadsFromTheExecutableAtItsSize)
{
    const SkinEntry* table = SkinTableBegin();
    for (int i = 0; i < kSkinCount; ++i) {
        const SkinEntry& e = table[i];
        SCOPED_TRACE(e.id);
        MyImage image;
        EXPECT_TRUE(image.Load(e.id));
        ASSERT_NE(image.Bitmap(), nullptr);
        EXPECT_EQ(image.Width(), e.width);
        EXPECT_EQ(image.Height(), e.height);
        BITMAP info = {};
        ASSERT_EQ(GetObjectW(image.Bitmap(), sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmBitsPixel, 32);
        EXPECT_EQ(info.bmPlanes, 1);
        EXPECT_EQ(info.bmWidth, e.width);
        EXPECT_EQ(info.bmHeight, e.height);
    }
    // The bitmap holds exactly the decoded, premultiplied pixels.
    for (int id : {277, 297}) {
        SCOPED_TRACE(id);
        const std::vector<uint8_t> data = ReadModuleResource(id, L"WEBP");
        DecodedSkin skin;
        ASSERT_TRUE(DecodeSkin(data.data(), data.size(), skin));
        MyImage image;
        image.Load(id);
        EXPECT_EQ(BitmapBits(image.Bitmap(), image.Width(), image.Height()), skin.pixels);
    }
}

TEST(SkinResources, UnknownIdGivesAnEmptyImage)
{
    MyImage image;
    EXPECT_TRUE(image.Load(316));
    EXPECT_EQ(image.Bitmap(), nullptr);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    SkinBitmap holder;
    EXPECT_FALSE(holder.LoadFromResource(IDD_LOGIN_PAGE)); // an id of another type
    EXPECT_EQ(holder.bitmap.Get(), nullptr);
}

TEST(SkinResources, SameIdTwiceGivesIndependentBitmaps)
{
    BITMAP info = {};
    HBITMAP second = nullptr;
    MyImage kept;
    kept.Load(301);
    {
        MyImage gone;
        gone.Load(301);
        second = gone.Bitmap();
        EXPECT_NE(second, kept.Bitmap());
    }
    EXPECT_EQ(GetObjectW(second, sizeof info, &info), 0); // deleted with its image
    EXPECT_EQ(GetObjectW(kept.Bitmap(), sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 16);
}

TEST(DialogTemplates, TranslucentWindowTemplate)
{
    Template t;
    ASSERT_TRUE(ReadTemplate(IDD_TRANSLUCENT, t));
    ExpectSmallFonts(t);
    EXPECT_EQ(t.style, static_cast<DWORD>(WS_VISIBLE | DS_SETFONT));
    EXPECT_EQ(t.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(t.cx, 1024);
    EXPECT_EQ(t.cy, 768);
    EXPECT_TRUE(t.items.empty());
}

TEST(DialogTemplates, LoginPageTemplate)
{
    Template t;
    ASSERT_TRUE(ReadTemplate(IDD_LOGIN_PAGE, t));
    ExpectSmallFonts(t);
    EXPECT_EQ(t.style, static_cast<DWORD>(WS_POPUP | DS_SETFONT));
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.cx, 1024);
    EXPECT_EQ(t.cy, 768);
    ASSERT_EQ(t.items.size(), 8u);
    ExpectItem(t.items[0], 1001, L"STATIC", L"", 0x5200002F, 255, 210, 580, 320);
    ExpectItem(t.items[1], 1006, L"BUTTON", L"\u767B\u9646\u6E38\u620F", 0x4201002B, 549, 527, 205, 101);
    ExpectItem(t.items[2], 1007, L"BUTTON", L"\u6700\u5C0F\u5316", 0x5201002B, 1007, 126, 30, 31);
    ExpectItem(t.items[3], 1008, L"BUTTON", L"\u5173\u95ED", 0x5201002B, 837, 141, 30, 31);
    ExpectItem(t.items[4], 1009, L"BUTTON", L"\u5145\u503C", 0x5201002B, 275, 175, 135, 29);
    ExpectItem(t.items[5], 1010, L"BUTTON", L"\u5B98\u7F51", 0x5201002B, 410, 175, 135, 29);
    ExpectItem(t.items[6], 1012, L"BUTTON", L"\u5BA2\u670D", 0x5201002B, 546, 175, 135, 29);
    ExpectItem(t.items[7], 1013, L"BUTTON", L"\u8BBA\u575B", 0x5201002B, 682, 175, 135, 29);
}

TEST(DialogTemplates, GameWindowTemplate)
{
    Template t;
    ASSERT_TRUE(ReadTemplate(IDD_GAME, t));
    ExpectSmallFonts(t);
    EXPECT_EQ(t.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | DS_SETFONT));
    EXPECT_EQ(t.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(t.cx, 1360);
    EXPECT_EQ(t.cy, 1020);
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    ASSERT_EQ(t.items.size(), 7u);
    ExpectItem(t.items[0], 1006, L"BUTTON", L"\u5173\u95ED", style, 1329, 3, 26, 25);
    ExpectItem(t.items[1], 1007, L"BUTTON", L"\u6700\u5927", style, 1305, 3, 26, 25);
    ExpectItem(t.items[2], 1012, L"BUTTON", L"\u6700\u5927", style, 1305, 3, 26, 25);
    ExpectItem(t.items[3], 1008, L"BUTTON", L"\u6700\u5C0F", style, 1281, 3, 26, 25);
    ExpectItem(t.items[4], 1009, L"BUTTON", L"\u6258\u76D8", style, 1257, 3, 26, 25);
    ExpectItem(t.items[5], 1010, L"BUTTON", L"\u83DC\u5355", style, 1233, 3, 26, 25);
    ExpectItem(t.items[6], 1011, L"BUTTON", L"\u83DC\u5355", style, 10, 5, 18, 18);
}

TEST(Menus, TrayAndMainMenusKeepTheirIdsAndTexts)
{
    const std::wstring refresh = L"\u5237\u65B0            F5"; // twelve blanks
    const std::wstring toggle = L"\u9690\u85CF/\u663E\u793A     F9"; // five blanks
    const std::wstring clear = L"\u6E05\u7406\u7F13\u5B58";
    const std::wstring quit = L"\u9000\u51FA";
    ExpectMenu(IDR_TRAY_MENU, L"\u6258\u76D8",
               {{0x8012, refresh}, {0x8013, toggle}, {0x8014, clear}, {0x8015, quit}});
    ExpectMenu(IDR_MAIN_MENU, L"\u4E3B\u83DC\u5355",
               {{0x800D, refresh}, {0x800E, toggle}, {0x800F, clear}, {0x8010, L"\u91CD\u7F6E\u7A97\u53E3"},
                {0x8011, quit}});
}
