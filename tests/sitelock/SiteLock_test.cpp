// Site rules: how [sitelock] is read and which page addresses it lets in.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EncodedConfigs.h"
#include "TestSupport.h"
#include "sitelock/SiteLock.h"
#include "win/UniqueHandle.h"

namespace {

using mv::sitelock::ParseSiteRule;
using mv::sitelock::SiteLock;
using mv::sitelock::SiteLockFile;

const wchar_t* const kRules[] = {
    L"https://example.com", L"https://*.sub.test", L"https://=exact.test", L"  http://LOCALHOST/ ",
    L"http://127.0.0.1:8080", L"http://[::1]", L"https://xn--bcher-kva.example", L"https://dot.test.",
};

// None of these may ever let a page in.
const wchar_t* const kMalformedRules[] = {
    L"", L"evil.test", L"ftp://evil.test", L"file://evil.test", L"https://", L"https:///", L"https://*",
    L"https://*.", L"https://*evil.test", L"https://=*.evil.test", L"https://*.*.evil.test",
    L"https://evil.test/path", L"https://user@evil.test", L"https://evil.test?x", L"https://evil.test#x",
    L"https://ev il.test", L"https://evil.test\\x", L"https://.evil.test", L"https://evil..test",
    L"https://evil.test..", L"https://evil.test:port", L"https://*.127.0.0.1", L"https://ev_il.test",
    L"https//evil.test", L"; https://evil.test", L"https://evil.test%2f",
};

TEST(SiteLockTest, MalformedRulesAreNoRules) {
    for (const wchar_t* line : kMalformedRules) EXPECT_FALSE(ParseSiteRule(line)) << line;
    EXPECT_TRUE(SiteLock().Allows(L"")) << "no rules: unlocked";
}

TEST(SiteLockTest, PagesMatchByPlatformParsedSchemeAndHost) {
    std::vector<mv::sitelock::SiteRule> rules;
    for (const wchar_t* line : kRules) rules.push_back(ParseSiteRule(line).value());
    const SiteLock lock(std::move(rules));
    const std::wstring longPath(5000, L'a');
    struct Case {
        std::wstring url;
        bool allowed;
    } const cases[] = {
        {L"https://example.com/", true},
        {L"https://www.example.com/a?b#c", true},
        {L"https://a.b.example.com", true},
        {L"HTTPS://WWW.EXAMPLE.COM/", true},
        {L"https://example.com./", true},
        {L"https://example.com:8443/", true},
        {L"https://evil.test@example.com/", true},
        {L"https://example.com/" + longPath, true},
        {L"http://example.com/", false},
        {L"https://example.com.evil.test/", false},
        {L"https://evilexample.com/", false},
        {L"https://example.com@evil.test/", false},
        {L"https://evil.test/?https://example.com", false},
        {L"https://evil.test/#example.com", false},
        {L"https://evil.test\\@example.com/", false},
        {L"https://example.com%2eevil.test/", false},
        {std::wstring(L"https://example.com\0.evil.test/", 31), false},
        {L"https://example.com../", false},
        {L"https://evil.test/" + longPath, false},
        {L"https://sub.test/", false},
        {L"https://a.sub.test/", true},
        {L"https://exact.test/", true},
        {L"https://www.exact.test/", false},
        {L"https://dot.test/", true},
        {L"http://localhost:8080/", true},
        {L"http://app.localhost/", true},
        {L"http://127.0.0.1:9/", true},
        {L"http://2130706433/", true},
        {L"https://127.0.0.1/", false},
        {L"http://1.127.0.0.1/", false},
        {L"http://[::1]:8080/", true},
        {L"http://[0:0::1]/", true},
        {L"http://[::2]/", false},
        {L"https://xn--bcher-kva.example/", true},
        {L"https://b\u00fccher.example/", true},
        {L"https://www.B\u00dcCHER.example/", true},
        {L"https://bucher.example/", false},
        {L"file:///C:/page.html", false},
        {L"javascript:alert(1)", false},
        {L"about:blank", false},
        {L"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.allowed, lock.Allows(c.url)) << c.url.substr(0, 60);
}

TEST(SiteLockTest, ReadsTheSectionOfTheConfigurationFile) {
    mv::test::ScopedTempDir dir(L"sitelock");
    const std::wstring file = dir.Child(L"mivo.cfg");
    std::string many = "[sitelock]\r\n";
    for (int i = 0; i < 400; ++i) many += "https://=host" + std::to_string(i) + ".example.com\r\n";
    struct Case {
        std::string text;
        bool locked;
        size_t rules, ignored;
        const wchar_t* page;  // let in exactly when it has rules
    } const cases[] = {
        {"", false, 0, 0, L"https://any.test/"},  // no file
        {"[channel]\r\nnum=5\r\n", false, 0, 0, L"https://any.test/"},
        {"[channel]\r\nnum=5\r\n[sitelock]\r\n", true, 0, 0, L"https://any.test/"},
        {"[sitelock]\r\npay.example.org/*\r\nhttps://pay.example.org/*\r\n", true, 0, 2, L"https://pay.example.org/"},
        {"[SiteLock]\r\n; https://comment.test\r\nno rule\r\n\r\n https://a.test \r\nhttps://=b.test\r\n[x]\r\nhttps://c.test\r\n",
         true, 2, 1, L"https://www.a.test/"},
        {many, true, 400, 0, L"https://host399.example.com/"},
        {"[sitelock]\nhttps://b\xC3\xBC" "cher.example\n", true, 1, 0, L"https://www.xn--bcher-kva.example/"},
        {"\xEF\xBB\xBF[sitelock]\r\nhttps://\xE9\x9F\xB3.example\r\n", true, 1, 0, L"https://\u97F3.example/"},
    };
    for (const auto& c : cases) {
        mv::test::RemoveTree(file);
        if (!c.text.empty()) mv::test::WriteFileBytes(file, c.text);
        const SiteLock lock = mv::sitelock::ReadSiteLock(file.c_str());
        EXPECT_EQ(c.locked, lock.Locked()) << c.text.substr(0, 80);
        EXPECT_EQ(c.rules, lock.rules().size()) << c.text.substr(0, 80);
        EXPECT_EQ(c.ignored, lock.ignored().size()) << c.text.substr(0, 80);
        EXPECT_EQ(!c.locked || c.rules != 0, lock.Allows(c.page)) << c.text.substr(0, 80);
    }
}

// A file another program holds open without sharing refuses every page, and
// is read again at the next look: the failure is never remembered.
TEST(SiteLockTest, AFileThatCannotBeReadRefusesEverySiteUntilItCanBe) {
    mv::test::ScopedTempDir dir(L"sitelock held");
    const std::wstring file = dir.Child(L"mivo.cfg");
    mv::test::WriteFileBytes(file, "[sitelock]\r\nhttps://example.com\r\n");
    mv::sitelock::SiteLockFile cached(file);
    for (const bool held : {true, false}) {
        mv::win::unique_file holder;
        if (held) holder.reset(::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_EQ(held, static_cast<bool>(holder));
        for (const SiteLock& lock : {mv::sitelock::ReadSiteLock(file.c_str()), *cached.Current()}) {
            EXPECT_TRUE(lock.Locked()) << held;
            EXPECT_EQ(!held, lock.Readable()) << held;
            EXPECT_EQ(!held, lock.Allows(L"https://example.com/")) << held;
            EXPECT_FALSE(lock.Allows(L"https://evil.test/")) << held;
        }
    }
}

TEST(SiteLockTest, EachEncodingIsReadOrRefusedAndNoneLetsAnUnlistedSiteIn) {
    mv::test::ScopedTempDir dir(L"sitelock encodings");
    const std::wstring file = dir.Child(L"mivo.cfg");
    for (const auto& config : mv::test::EncodedConfigs()) {
        mv::test::WriteFileBytes(file, config.bytes);
        const SiteLock lock = mv::sitelock::ReadSiteLock(file.c_str());
        const bool readable = config.encoding != nullptr;
        EXPECT_TRUE(lock.Locked()) << config.name;
        EXPECT_EQ(readable, lock.Readable()) << config.name;
        if (readable) {
            EXPECT_EQ(0u, lock.encoding().rfind(config.encoding, 0)) << config.name;
        }
        EXPECT_EQ(readable, lock.why().empty()) << config.name;
        EXPECT_EQ(readable, lock.Allows(L"https://example.com/")) << config.name;
        EXPECT_FALSE(lock.Allows(L"https://evil.test/")) << config.name;
    }
}

// A lock that was read is handed out without a look at the file until its
// time is up; one that could not be read is tried again at every call.
TEST(SiteLockTest, AReadLockIsKeptForItsTimeAndAnUnreadableOneNever) {
    mv::test::ScopedTempDir dir(L"sitelock kept");
    const std::wstring file = dir.Child(L"mivo.cfg");
    mv::test::WriteFileBytes(file, "[sitelock]\r\nhttps://example.com\r\n");
    SiteLockFile cached(file);
    const auto first = cached.Current(1000);
    mv::test::WriteFileBytes(file, "[sitelock]\r\nhttps://evil.test\r\n");
    EXPECT_EQ(first, cached.Current(1000 + SiteLockFile::kRecheckMs - 1));
    EXPECT_TRUE(cached.Current(1000 + SiteLockFile::kRecheckMs)->Allows(L"https://evil.test/"));

    mv::test::WriteFileBytes(file, mv::test::Utf16Of("[sitelock]\r\n", false));
    EXPECT_FALSE(cached.Current(5000)->Allows(L"https://evil.test/"));
    mv::test::WriteFileBytes(file, "[channel]\r\n");
    EXPECT_TRUE(cached.Current(5001)->Allows(L"https://evil.test/")) << "the unreadable file was remembered";
}

}  // namespace
