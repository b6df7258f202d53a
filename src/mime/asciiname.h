// A person's name in plain ASCII, for the local part of an Internet
// address made from a FidoNet name.
//
// The rules: the German umlauts and sharp s as German writes them without
// them (ä ö ü Ä Ö Ü as ae oe ue Ae Oe Ue, ß as ss: "Größer" gives
// "Groesser"); Russian Cyrillic by the BGN/PCGN romanisation, without the
// hard and soft signs ("Смирнов" gives "Smirnov", "Хрущёв" "Khrushchev",
// "Ильин" "Ilin"); every other script by ICU's Latin transliteration with
// the accents dropped ("José" gives "Jose", "Ελένη" "Elene", "Łukasz"
// "Lukasz"). What has no ASCII form at all is left out.
#pragma once

#include <string>
#include <string_view>

// The name (UTF-8) in ASCII by the rules above; ASCII text comes back as
// it is. Invalid UTF-8 is read as windows-1252.
std::string asciiname(std::string_view utf8);
