#include "userdata/SavedBytes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace mv::userdata {
namespace {

// After each change, the spliced bytes must be the whole document printed
// again: every shape of entry, values that change length, split into
// several CDATA sections, and entries appended.
TEST(SavedBytes, SplicedBytesAreTheWholeDocumentPrinted) {
    XmlFile file;
    ASSERT_TRUE(file.LoadText(L"<?xml version='1.0'?><!--c--><UserData><a><![CDATA[1]]></a><!-- between -->"
                              L"<t>x&amp;y</t><e/><m><!-- x --><![CDATA[p]]><![CDATA[q]]></m><a>dup</a></UserData>"));
    XmlNode* root = file.document().first_node(L"UserData");
    SavedBytes saved;
    saved.PrintAll(file, root);

    auto setValue = [&](XmlNode* entry, const std::wstring& value) {
        XmlNode* child = entry->first_node();
        if (!child) entry->append_node(child = file.CreateNode(rapidxml::node_cdata, nullptr, L""));
        child->value(file.CopyString(value), value.size());
        return entry;
    };
    const std::function<const XmlNode*()> changes[] = {
        [&] { return setValue(root->first_node(L"a"), L"a much longer value than before, with\nline feeds\nand é中\U0001F600"); },
        [&] { return setValue(root->first_node(L"a"), L""); },
        [&] { return setValue(root->first_node(L"t"), L"<&>\"'"); },
        [&] { return setValue(root->first_node(L"e"), L"now filled"); },
        [&] {
            XmlNode* m = root->first_node(L"m");
            m->append_node(file.CreateNode(rapidxml::node_cdata, nullptr, L"]]"));
            return m;
        },
        [&] { return setValue(root->last_node(L"a"), L"second of its name"); },
    };
    for (const auto& change : changes) {
        const XmlNode* entry = change();
        ASSERT_TRUE(saved.Reprint(*entry));
        std::string whole;
        file.PrintFileBytes(whole);
        ASSERT_EQ(whole, saved.bytes());
    }
    for (const wchar_t* name : {L"added", L"second"}) {
        XmlNode* entry = file.CreateNode(rapidxml::node_element, name, L"");
        entry->append_node(file.CreateNode(rapidxml::node_cdata, nullptr, name));
        root->append_node(entry);
        ASSERT_TRUE(saved.PrintAppended(*entry));
        ASSERT_TRUE(saved.Reprint(*setValue(root->first_node(L"a"), name)));
        std::string whole;
        file.PrintFileBytes(whole);
        ASSERT_EQ(whole, saved.bytes());
    }

    // Places that no longer hold are never used.
    saved.Forget();
    EXPECT_FALSE(saved.Reprint(*root->first_node(L"a")));
    XmlFile bare;
    ASSERT_TRUE(bare.LoadText(L"<UserData/>"));
    saved.PrintAll(bare, bare.document().first_node());
    XmlNode* first = bare.CreateNode(rapidxml::node_element, L"first", L"");
    bare.document().first_node()->append_node(first);
    EXPECT_FALSE(saved.PrintAppended(*first));
}

}  // namespace
}  // namespace mv::userdata
