#include "lists/listfiles.h"

#include "config/reader.h"

mailinglists lists;

int readlist(const std::string& name, long line, const std::string& cfgpath,
             const std::string& progpath) {
    (void)name;
    (void)progpath;
    configwarn("mailing lists are not available yet", line, cfgpath);
    return 0;
}
