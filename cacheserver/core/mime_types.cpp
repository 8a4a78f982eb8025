#include "cacheserver/core/mime_types.h"

namespace {

struct MimeEntry {
    const char* extension;
    const char* type;
};

// In this order "arj" and "rtf" are first given a type of their own and then
// overwritten; the later value is the one pages have always received.
const MimeEntry kMimeEntries[] = {
    {"xml", "text/xml; charset=UTF-8"},
    {"asset", "text/plain; charset=utf-8"},
    {"mp", "text/plain; charset=utf-8"},
    {"res", "text/plain; charset=utf-8"},
    {"png", "image/png"},
    {"swf", "application/x-shockwave-flash"},
    {"arj", "application/x-arj"},
    {"rtf", "application/rtf"},
    {"doc", "application/msword"},
    {"bin", "application/octet-stream"},
    {"dll", "application/octet-stream"},
    {"exe", "application/octet-stream"},
    {"pdf", "application/pdf"},
    {"p7c", "application/pkcs7-mime"},
    {"ai", "application/postscript"},
    {"eps", "application/postscript"},
    {"ps", "application/postscript"},
    {"fdf", "application/vnd.fdf"},
    {"gz", "application/x-gzip"},
    {"class", "application/x-java-class"},
    {"js", "application/x-javascript"},
    {"lzh", "application/x-lzh"},
    {"lnk", "application/x-ms-shortcut"},
    {"tar", "application/x-tar"},
    {"hlp", "application/x-winhelp"},
    {"cert", "application/x-x509-ca-cert"},
    {"zip", "application/zip"},
    {"cab", "application/x-compressed"},
    {"arj", "application/x-compressed"},
    {"aif", "audio/aiff"},
    {"aifc", "audio/aiff"},
    {"aiff", "audio/aiff"},
    {"au", "audio/basic"},
    {"snd", "audio/basic"},
    {"mid", "audio/midi"},
    {"rmi", "audio/midi"},
    {"mp3", "audio/mpeg"},
    {"vox", "audio/voxware"},
    {"wav", "audio/wav"},
    {"ra", "audio/x-pn-realaudio"},
    {"ram", "audio/x-pn-realaudio"},
    {"bmp", "image/bmp"},
    {"gif", "image/gif"},
    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"xbm", "image/xbm"},
    {"wrl", "model/vrml"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"c", "text/plain"},
    {"cpp", "text/plain"},
    {"def", "text/plain"},
    {"h", "text/plain"},
    {"txt", "text/plain"},
    {"rtx", "text/richtext"},
    {"rtf", "text/richtext"},
    {"java", "text/x-java-source"},
    {"css", "text/css"},
    {"mpeg", "video/mpeg"},
    {"mpg", "video/mpeg"},
    {"mpe", "video/mpeg"},
    {"avi", "video/msvideo"},
    {"mov", "video/quicktime"},
    {"qt", "video/quicktime"},
    {"shtml", "wwwserver/html-ssi"},
    {"asa", "wwwserver/isapi"},
    {"asp", "wwwserver/isapi"},
    {"cfm", "wwwserver/isapi"},
    {"dbm", "wwwserver/isapi"},
    {"isa", "wwwserver/isapi"},
    {"plx", "wwwserver/isapi"},
    {"url", "wwwserver/isapi"},
    {"cgi", "wwwserver/isapi"},
    {"php", "wwwserver/isapi"},
    {"wcgi", "wwwserver/isapi"},
};

} // namespace

void FillMimeTypes(std::map<std::string, std::string>& types)
{
    for (const MimeEntry& e : kMimeEntries)
        types[e.extension] = e.type;
}
