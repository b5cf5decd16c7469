// Program entry: the application object and the start-up sequence.
#include "app/application.h"

int main(int argc, char **argv)
{
    return lapvane::runApplication(argc, argv);
}
