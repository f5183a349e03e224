#include "Mp4BoxMain.h"

int main(int argc, char **argv)
{
#ifdef MP4BOX_NIGHTLY_BUILD
    // The Nightly build takes the level as level_idc (":level=31").
    return mp4box::mp4boxMain(argc, argv, mp4box::LevelForm::Idc);
#else
    return mp4box::mp4boxMain(argc, argv, mp4box::LevelForm::Decimal);
#endif
}
