/* The physical limit of a sequential scan: the same host-name lookups that
 * vorlane makes, and nothing else.
 *   lookups PREFIX FIRST LAST   looks up PREFIX<n> for n from FIRST to LAST */
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const long first = strtol(argv[2], NULL, 10), last = strtol(argv[3], NULL, 10);
    int found = 0;
    for (long n = first; n <= last; ++n) {
        char name[64];
        snprintf(name, sizeof name, "%s%ld", argv[1], n);
        struct addrinfo hints, *result = NULL;
        memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        if (getaddrinfo(name, NULL, &hints, &result) == 0) {
            ++found;
            freeaddrinfo(result);
        }
    }
    printf("%d found\n", found);
    return 0;
}
