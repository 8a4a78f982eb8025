// The skin pictures the windows rely on: id, size and whether it carries
// transparency. Shared by the native and the Win32 tests.
#pragma once

struct SkinEntry {
    int id;
    int width;
    int height;
    bool alpha;
};

inline const SkinEntry* SkinTableBegin()
{
    static const SkinEntry table[] = {
        {271, 1379, 702, true}, {272, 1, 1, true},     {273, 1, 1, true},     {274, 1, 1, true},
        {275, 31, 31, true},    {276, 31, 31, true},   {277, 31, 31, true},   {278, 161, 34, false},
        {279, 161, 34, false},  {280, 161, 34, false}, {281, 161, 34, false}, {282, 161, 34, false},
        {283, 161, 34, false},  {284, 161, 34, false}, {285, 161, 34, false}, {286, 161, 34, false},
        {287, 161, 34, false},  {288, 161, 34, false}, {289, 161, 34, false}, {290, 31, 31, true},
        {291, 31, 31, true},    {292, 31, 31, true},   {293, 34, 25, true},   {294, 34, 25, true},
        {295, 34, 25, true},    {296, 568, 258, false}, {297, 568, 31, false}, {298, 30, 25, true},
        {299, 30, 25, true},    {300, 30, 25, true},   {301, 16, 16, true},   {302, 50, 37, true},
        {303, 30, 25, true},    {304, 30, 25, true},   {305, 30, 25, true},   {306, 30, 25, true},
        {307, 30, 25, true},    {308, 30, 25, true},   {309, 30, 25, true},   {310, 30, 25, true},
        {311, 30, 25, true},    {312, 30, 25, true},   {313, 30, 25, true},   {314, 30, 25, true},
        {315, 50, 37, true},
    };
    return table;
}
constexpr int kSkinCount = 45;
