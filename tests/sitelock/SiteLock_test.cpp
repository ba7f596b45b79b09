// Site rules: how [sitelock] is read and which page addresses it lets in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "sitelock/SiteLock.h"

namespace {

using mv::sitelock::ParseSiteRule;
using mv::sitelock::SiteLock;

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
    const std::pair<std::string, size_t> cases[] = {
        {"", 0},  // no file
        {"[channel]\r\nnum=5\r\n[sitelock]\r\n", 0},
        {"[SiteLock]\r\n; https://comment.test\r\nno rule\r\n\r\n https://a.test \r\nhttps://=b.test\r\n[x]\r\nhttps://c.test\r\n", 2},
        {many, 400},  // more than the first buffer holds
    };
    for (const auto& [text, rules] : cases) {
        mv::test::RemoveTree(file);
        if (!text.empty()) mv::test::WriteFileBytes(file, text);
        const SiteLock lock = mv::sitelock::ReadSiteLock(file.c_str());
        EXPECT_EQ(rules, lock.rules().size()) << text.substr(0, 80);
        EXPECT_EQ(rules != 0, lock.Locked());
    }
}

}  // namespace
