#include "Quillbook.h"

int main(int argc, char *argv[])
{
    return RunQuillbook(argc, argv);
}
