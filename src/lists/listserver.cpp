#include "lists/listserver.h"

#include "driver/log.h"

int processlistcommand(std::size_t list, int command) {
    (void)list;
    (void)command;
    logprintf("Error: the mailing-list server is not available yet\n");
    return -1;
}

int sendlistmessage(std::size_t list, std::FILE* msgfile, long bodystart, long msgend) {
    (void)list;
    (void)msgfile;
    (void)bodystart;
    (void)msgend;
    logprintf("Error: the mailing-list server is not available yet\n");
    return -1;
}
