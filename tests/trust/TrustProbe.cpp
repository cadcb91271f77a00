// A program that does nothing and ends with exit code 0: what the trust tests hold, start and
// sign in place of an installer.
int main() {
  return 0;
}
