// Entry point of wfsmount. The kernel bring-up and the FUSE operations are
// not wired in yet; until then the program only checks its arguments.

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "Usage: %s [-d] <device> <mount point>\n", argv[0]);
        return 1;
    }
    fprintf(stderr, "Error: Mounting FS failed: %s\n", "not implemented yet");
    return 1;
}
