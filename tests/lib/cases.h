/* The test cases of the library, each run by name from main.c. */
#ifndef TWR_TEST_CASES_H
#define TWR_TEST_CASES_H

void caseTextConventions(void);
void caseNoSniffer(void);
void caseSimCapture(void);

/* Data files shipped with the tests. */
#define DATA_FILE(name) TWR_TEST_DATA_DIR "/" name

#endif
