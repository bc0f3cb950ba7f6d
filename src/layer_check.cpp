// Links one folder of the core whole, with only the folders before it: a call into a later
// folder leaves a symbol undefined and stops the build.
int main() { return 0; }
