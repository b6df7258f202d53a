#include "import/headerstrip.h"

#include <gtest/gtest.h>

#include "config/tables.h"
#include "support/testutil.h"

namespace {

class headerstrip : public statetest {};

TEST_F(headerstrip, somedropsthetransportandsignaturefields) {
    const char* dropped[] = {
        "Received: from a by b",
        "received: lower case too",
        "Path: news!not-for-mail",
        "References: <a@b>",
        "DKIM-Signature: v=1; a=rsa-sha256",
        "ARC-Seal: i=1; a=rsa-sha256",
        "ARC-Message-Signature: i=1",
        "Authentication-Results: mx.example; spf=pass",
        "Received-SPF: pass",
        "X-Google-Smtp-Source: AGHT+",
        "X-Gm-Message-State: AOJu0Y",
        "X-MS-Exchange-Organization-SCL: 1",
        "X-Microsoft-Antispam: BCL:0",
        "X-Spam-Status: No, score=-2.0",
        "List-Unsubscribe-Post: List-Unsubscribe=One-Click",
        "Autocrypt: addr=a@b; keydata=mQINBF",
    };
    for (const char* line : dropped) {
        EXPECT_TRUE(strippedheader(line, STRIP_SOME)) << line;
        EXPECT_TRUE(strippedheader(line, STRIP_YES)) << line;
        EXPECT_FALSE(strippedheader(line, STRIP_NO)) << line;
    }
    const char* keptlines[] = {
        "Subject: hello",
        "From: a@b",
        "List-Unsubscribe: <mailto:x@y>",
        "Content-Type: text/plain",
        "X-Mailer: mutt",
        "Receivedx: not the field",
        "Paths: nor this one",
    };
    for (const char* line : keptlines) EXPECT_FALSE(strippedheader(line, STRIP_SOME)) << line;
}

TEST_F(headerstrip, keepheaderoverrulessomeonly) {
    tables.keepheader = {"x-spam-*", "Received-SPF"};
    EXPECT_FALSE(strippedheader("X-Spam-Score: 3", STRIP_SOME));
    EXPECT_FALSE(strippedheader("Received-SPF: pass", STRIP_SOME));
    EXPECT_TRUE(strippedheader("Received: from a", STRIP_SOME));
    EXPECT_TRUE(strippedheader("X-Spam-Score: 3", STRIP_YES));
}

}  // namespace
