// The resources themselves are compiled in by qt_add_resources; this unit only gives the
// library a source of its own.
int zr40ResourceLibraryVersion()
{
    return 1;
}
