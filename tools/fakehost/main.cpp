// A stand-in for the host's executable: only its version block matters.
int main() {}
