#include "userdata/XmlFile.h"

#include <gtest/gtest.h>

#include <string>

#include "StoreTestSupport.h"

namespace mv::userdata {
namespace {

using test::ReadFileBytes;
using test::ScopedTempDir;
using test::Utf8;

// The value of the first child of `element`, or of its child `child`.
std::wstring ValueAt(XmlFile& file, const wchar_t* element, const wchar_t* child = nullptr) {
    XmlNode* node = file.document().first_node(element);
    if (node && child) node = node->first_node(child);
    if (!node || !node->first_node()) return L"<missing>";
    return std::wstring(node->first_node()->value(), node->first_node()->value_size());
}

// Each of these units has the low byte of a markup character or a blank:
// 丠 ' ', 丼 '<', 举 '>', 丯 '/', 並 '&', 丢 '"', 丧 '\'', 丽 '='.
TEST(XmlFileCharacters, UnitsAboveLatin1AreOrdinaryNameAndTextCharacters) {
    XmlFile file;
    ASSERT_TRUE(file.LoadText(L"<a丠丼举丯 k='丧丢丼' q=\"丢並\">丼並丠丽举</a丠丼举丯>"));
    XmlNode* node = file.document().first_node();
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(L"a丠丼举丯", std::wstring(node->name(), node->name_size()));
    EXPECT_EQ(std::wstring(L"丧丢丼"), node->first_attribute(L"k")->value());
    EXPECT_EQ(std::wstring(L"丢並"), node->first_attribute(L"q")->value());
    EXPECT_EQ(L"丼並丠丽举", ValueAt(file, L"a丠丼举丯"));
    // A closing tag must still match the name unit for unit.
    EXPECT_FALSE(file.LoadText(L"<a丠>x</a >"));
}

TEST(XmlFileCharacters, NumericReferencesBecomeUtf16Units) {
    XmlFile file;
    ASSERT_TRUE(file.LoadText(L"<a>&#x4E2D;&#20013;&#xE9;&#x1F600;&lt;&amp;</a>"));
    EXPECT_EQ(L"中中é\U0001F600<&", ValueAt(file, L"a"));
    EXPECT_FALSE(file.LoadText(L"<a>&#x110000;</a>"));
}

TEST(XmlFileConversions, Utf8AndAnsi) {
    EXPECT_EQ("\xF0\x9F\x98\x80" "a", WideToUtf8(L"\U0001F600a", -1));
    EXPECT_EQ("\xE4\xB8\xAD", WideToUtf8(L"中x", 1));
    EXPECT_EQ("", WideToUtf8(L"", -1));
    EXPECT_EQ(L"abc", AnsiToWide("abc\0def", 7));
}

// The file's bytes are printed straight into UTF-8: they must be what
// converting the printed text and writing it makes, lone surrogates too.
TEST(XmlFileConversions, PrintedFileBytesAreTheConvertedText) {
    for (const std::wstring value : {L"a\nb\"'>", L"\U0001F600中é", L"x\xD800y", L"\xDC00", L"é\xD83D", L"\xD83D\n"}) {
        XmlFile file;
        ASSERT_TRUE(file.LoadText((L"<?xml version='1.0'?><!DOCTYPE r><?pi x?><!--" + value + L"--><r>\n<k><![CDATA[" +
                                   value + L"]]></k><t>" + value + L"&lt;&amp;</t><e/><a b=\"&quot;'\" c='1'><c/></a><m><!-- x --><![CDATA[y]]><n><o>v</o></n></m></r>")
                                      .c_str()));
        std::string expected;
        for (const char c : WideToUtf8(file.Print().c_str(), static_cast<int>(file.Print().size())))
            expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
        std::string printed;
        file.PrintFileBytes(printed);
        EXPECT_EQ(expected, printed) << Utf8(value);
    }
}

class XmlFileOnDisk : public ::testing::Test {
protected:
    std::wstring Write(const std::string& bytes) {
        test::WriteFileBytes(path_, bytes);
        return path_;
    }

    ScopedTempDir dir_{L"xmlfile"};
    std::wstring path_ = dir_.Child(L"doc.xml");
    XmlFile file_;
};

TEST_F(XmlFileOnDisk, ByteOrderMarkLineEndsAndNulDoNotChangeWhatLoads) {
    // On disk a value's CR LF is CR CR LF, as text-mode writing makes it.
    const std::string body = "<r>\n\t<k><![CDATA[a\r\r\nb]]></k>\n</r>\n";
    ASSERT_TRUE(file_.LoadFile(Write(body).c_str()));
    EXPECT_EQ(L"a\r\nb", ValueAt(file_, L"r", L"k"));

    for (const std::string& variant : {"\xEF\xBB\xBF" + body, std::string("<r>\r\n\t<k><![CDATA[a\r\r\nb]]></k>\r\n</r>\r\n"),
                                       body + std::string("\0<garbage", 10)}) {
        ASSERT_TRUE(file_.LoadFile(Write(variant).c_str()));
        EXPECT_EQ(L"a\r\nb", ValueAt(file_, L"r", L"k"));
    }
    EXPECT_FALSE(file_.LoadFile(Write("\xEF\xBB\xBF").c_str()));
    EXPECT_FALSE(file_.LoadFile(Write("").c_str()));
    EXPECT_FALSE(file_.LoadFile(dir_.Child(L"absent.xml").c_str()));
}

TEST_F(XmlFileOnDisk, SavesUtf8WithCrLfAndNoByteOrderMark) {
    ASSERT_TRUE(file_.LoadText(L"<r>\n<k><![CDATA[\U0001F600中\n\x1A]]></k>\n</r>"));
    ASSERT_TRUE(file_.SaveFile(path_.c_str()));
    EXPECT_EQ("<r>\r\n\t<k>\r\n\t\t<![CDATA[\xF0\x9F\x98\x80\xE4\xB8\xAD\r\n\x1A]]>\r\n\t</k>\r\n</r>\r\n",
              ReadFileBytes(path_));
    EXPECT_FALSE(test::FileExists(TemporaryPathFor(path_.c_str())));
    // A Ctrl+Z is data, not the end of the file.
    XmlFile again;
    ASSERT_TRUE(again.LoadFile(path_.c_str()));
    EXPECT_EQ(L"\U0001F600中\n\x1A", ValueAt(again, L"r", L"k"));
}

TEST_F(XmlFileOnDisk, WriteFileBytesReplacesTheFileOrLeavesIt) {
    Write("old");
    ASSERT_TRUE(XmlFile::WriteFileBytes(path_.c_str(), "a\nb\n\0ignored"));
    EXPECT_EQ("a\r\nb\r\n", ReadFileBytes(path_));
    ASSERT_TRUE(XmlFile::WriteFileBytes(path_.c_str(), std::string_view("a\0b\n", 4)));
    EXPECT_EQ(std::string("a\0b\r\n", 5), ReadFileBytes(path_));
    EXPECT_FALSE(test::FileExists(TemporaryPathFor(path_.c_str())));
    EXPECT_FALSE(XmlFile::WriteFileBytes(dir_.Child(L"no\\such\\folder.xml").c_str(), "x"));
    // A folder in the way cannot be replaced; it stays as it was.
    const std::wstring folder = dir_.Child(L"folder");
    test::MakeDirs(folder + L"\\inside");
    EXPECT_FALSE(XmlFile::WriteFileBytes(folder.c_str(), "new"));
    EXPECT_TRUE(test::FileExists(folder + L"\\inside"));
    EXPECT_FALSE(test::FileExists(TemporaryPathFor(folder.c_str())));
}

TEST_F(XmlFileOnDisk, OnlyTheExactGb2312DeclarationIsConverted) {
    // Not recognised: the bytes are read as UTF-8 and the file is left alone.
    for (const std::string& declaration :
         {std::string("<?xml version=\"1.0\" encoding='GB2312'?>"), std::string("<?xml version=\"1.0\" encoding=\"gb2312\"?>"),
          // The marker inside a value, not in the declaration.
          std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>")}) {
        const std::string bytes =
            declaration + "\r\n<r><k><![CDATA[" + Utf8(L"中文") + " encoding=\"GB2312\"]]></k></r>\r\n";
        ASSERT_TRUE(file_.LoadFile(Write(bytes).c_str())) << declaration;
        EXPECT_EQ(L"中文 encoding=\"GB2312\"", ValueAt(file_, L"r", L"k"));
        EXPECT_EQ(bytes, ReadFileBytes(path_)) << declaration;
    }
}

TEST_F(XmlFileOnDisk, CompactKeepsEveryNodeAndFreesTheOldPool) {
    ASSERT_TRUE(file_.LoadFile(
        Write("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE r>\n<!-- note -->\n<?pi data?>\n"
              "<r a=\"1\" b='&lt;'>\n\t<k>text &amp; more</k>\n\t<c><![CDATA[x]]></c>\n\t<e/>\n</r>\n")
            .c_str()));
    XmlNode* pi = file_.CreateNode(rapidxml::node_pi, L"xml version=\"1.0\"", nullptr);
    ASSERT_NE(nullptr, pi);
    file_.document().prepend_node(pi);
    XmlNode* c = file_.document().first_node(L"r")->first_node(L"c")->first_node();
    for (int i = 0; i < 100; ++i) c->value(file_.CopyString(std::to_wstring(i)));
    const std::wstring before = file_.Print();
    EXPECT_GT(file_.AllocatedBytes(), 100 * sizeof(wchar_t));

    ASSERT_TRUE(file_.Compact());
    EXPECT_EQ(0u, file_.AllocatedBytes());
    EXPECT_EQ(before, file_.Print());
    EXPECT_NE(std::wstring::npos, before.find(L"<?xml version=\"1.0\" ?>"));
    EXPECT_NE(std::wstring::npos, before.find(L"<![CDATA[99]]>"));
}

}  // namespace
}  // namespace mv::userdata
