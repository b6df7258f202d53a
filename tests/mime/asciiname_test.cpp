#include "mime/asciiname.h"

#include <gtest/gtest.h>

// The rules of a name in ASCII, one script or language a case.
TEST(asciiname, transliterates) {
    struct {
        const char* name;
        const char* ascii;
    } cases[] = {
        {"Klaus Gr\xc3\xb6\xc3\x9f" "er", "Klaus Groesser"},                // German: oe, ss
        {"J\xc3\xbcrgen M\xc3\xbcller", "Juergen Mueller"},
        {"\xc3\x9c" "bel \xc3\x84rger", "Uebel Aerger"},
        {"\xd0\xa1\xd0\xbc\xd0\xb8\xd1\x80\xd0\xbd\xd0\xbe\xd0\xb2", "Smirnov"},  // Смирнов
        {"\xd0\xa5\xd1\x80\xd1\x83\xd1\x89\xd1\x91\xd0\xb2", "Khrushchev"},     // Хрущёв
        {"\xd0\x98\xd0\xbb\xd1\x8c\xd0\xb8\xd0\xbd", "Ilin"},                   // Ильин: no soft sign
        {"\xd0\xae\xd0\xbb\xd0\xb8\xd1\x8f", "Yuliya"},                         // Юлия
        {"Jos\xc3\xa9 N\xc3\xba\xc3\xb1" "ez", "Jose Nunez"},                // accents dropped
        {"\xc5\x81ukasz \xc5\xbb\xc3\xb3\xc5\x82\xc4\x87", "Lukasz Zolc"},   // Łukasz Żółć
        {"\xce\x95\xce\xbb\xce\xad\xce\xbd\xce\xb7", "Elene"},               // Ελένη
        {"plain Name", "plain Name"},
        {"Gr\xf6\xdf" "er", "Groesser"},  // not UTF-8: read as windows-1252
        {"\xe2\x98\x83 Snow", " Snow"},   // no ASCII form: left out
    };
    for (const auto& c : cases) EXPECT_EQ(asciiname(c.name), c.ascii) << c.name;
}
