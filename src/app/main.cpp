#include <ui/main/Application.h>

int main(int argc, char *argv[])
{
    return RunTallyport(argc, argv);
}
