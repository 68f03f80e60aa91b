#pragma once
// The layout of a pdt file, shared by its reader and its writer. The file is a
// list of tagged values: kListBegin, the scrambled password, then one record per
// key and per entry, then kEndOfList. A record begins with a marker (an integer):
//   kMarkerGroupStart  parent name, scrambled key name   (a key that opens a group)
//   kMarkerSameGroup   scrambled key name                (a key of the previous group)
//   kMarkerEntry       scrambled title, value, info, date (an entry of the last key)

namespace dorvanta::pdt {

enum Tag : unsigned char {
    kEndOfList = 0x00,
    kListBegin = 0x01,
    kInt8 = 0x02,
    kInt16 = 0x03,
    kInt32 = 0x04,
    kString = 0x06,
    kLString = 0x0C,
    kDate = 0x11,
    kWString = 0x12,
    kUtf8String = 0x14,
};

enum Marker : int { kMarkerGroupStart = 0, kMarkerSameGroup = 1, kMarkerEntry = 2 };

}  // namespace dorvanta::pdt
