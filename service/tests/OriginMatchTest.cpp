// Handshake admission: URL splitting, origin patterns and the peer check.
#include <gtest/gtest.h>

#include <string>

#include "endpoint/Origin.h"

namespace {

using qvx::endpoint::IsAllowedOrigin;
using qvx::endpoint::IsLocalPeer;
using qvx::endpoint::MatchOrigin;
using qvx::endpoint::SplitUrl;

TEST(OriginSplitUrl, PartsAsTheRuleCutsThem) {
  struct Case {
    const char* text;
    const char* scheme;
    const char* host;
    const char* port;
  };
  const Case cases[] = {
      {"https://a.brixbank.example", "https", "a.brixbank.example", ""},
      {"https://a.brixbank.example:9041", "https", "a.brixbank.example", "9041"},
      {"https://a.b:1:2", "https", "a.b", "1:2"},            // first colon of the rest
      {"https://a.b/x/y", "https", "a.b/x/y", ""},           // a path stays in the host
      {"https://u:p@a.b", "https", "u", "p@a.b"},            // userinfo is not understood
      {"a.brixbank.example", "", "a.brixbank.example", ""},  // no separator at all
      {"/abc", "", "c", ""},                                 // slash first: "/ab" is skipped
      {"x/abc", "x", "c", ""},
      {"x:/abcd", "x", "bcd", ""},  // separator is not checked
      {"", "", "", ""},
      {"null", "", "null", ""},
      // Cut short after the scheme: nothing left, and nothing read past the end.
      {"https:", "https", "", ""},
      {"https:/", "https", "", ""},
      {"https://", "https", "", ""},
      {"https://:", "https", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parts = SplitUrl(c.text);
    EXPECT_EQ(parts.scheme, c.scheme);
    EXPECT_EQ(parts.host, c.host);
    EXPECT_EQ(parts.port, c.port);
  }
}

TEST(OriginMatch, PatternRules) {
  struct Case {
    const char* scheme;
    const char* host;
    const char* pattern;
    bool match;
  };
  const Case cases[] = {
      {"https", "a.d.example", "https://*.d.example", true},
      {"https", "a.b.c.d.example", "https://*.d.example", true},         // any depth
      {"https", "d.example", "https://*.d.example", false},              // no label before
      {"https", "xd.example", "https://*.d.example", false},             // not a label boundary
      {"https", "a.d.example.d.example", "https://*.d.example", false},  // first hit must end it
      {"https", "a.d.example.evil", "https://*.d.example", false},
      {"https", "a.d.exampl", "https://*.d.example", false},
      {"http", "a.d.example", "https://*.d.example", false},
      {"HTTPS", "a.d.example", "https://*.d.example", false},  // case counts
      {"https", "A.D.EXAMPLE", "https://*.d.example", false},
      {"https", "a.d.example", "*.d.example", true},  // no scheme: any scheme
      {"ftp", "a.d.example", "*.d.example", true},
      {"https", "d.example", "https://d.example", true},  // exact host
      {"https", "a.d.example", "https://d.example", false},
      {"https", "d.example", "https://d.example:1", true},  // ports never count
      {"https", "", "https://*.d.example", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.scheme) + " " + c.host + " " + c.pattern);
    EXPECT_EQ(MatchOrigin(c.scheme, c.host, c.pattern), c.match);
  }
}

TEST(OriginMatch, AllowedOrigins) {
  struct Case {
    const char* origin;
    bool allowed;
  };
  const Case cases[] = {
      {"https://www.brixbank.example", true},
      {"https://www.brixonline.example", true},  // the second pattern is tried too
      {"https://a.b.brixbank.example", true},
      {"https://www.brixbank.example:8443", true},
      {"https://brixbank.example", false},
      {"https://brixonline.example", false},
      {"http://www.brixbank.example", false},
      {"wss://www.brixbank.example", false},
      {"HTTPS://www.brixbank.example", false},
      {"https://WWW.BRIXBANK.EXAMPLE", false},
      {"https://www.brixbank.example.", false},  // trailing dot
      {"https://www.brixbank.example.brixbank.example", false},
      {"https://www.brixbank.example.evil.example", false},
      {"https://evil.example", false},
      {"https://www.brixbank.example@evil.example", false},
      {"null", false},
      {"", false},
      {"https:", false},
      {"https://", false},
      {":", false},
      {"\xff\xfe.brixbank.example", false},
      // Before the host is looked at, the scheme must be there.
      {"www.brixbank.example", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.origin);
    EXPECT_EQ(IsAllowedOrigin(c.origin), c.allowed);
  }
}

TEST(OriginPeer, OnlyLoopback) {
  struct Case {
    const char* peer;
    bool local;
  };
  const Case cases[] = {
      {"127.0.0.1", true},
      {"::ffff:127.0.0.1", true},  // IPv4-mapped loopback
      {"127.0.0.2", false},
      {"::1", false},
      {"0.0.0.0", false},
      {"10.0.0.1", false},
      {"127.0.0.1:9041", false},  // an endpoint with its port is not an address
      {"127.0.0.10", false},
      {" 127.0.0.1", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.peer);
    EXPECT_EQ(IsLocalPeer(c.peer), c.local);
  }
}

}  // namespace
