/* SPDX-License-Identifier: MIT */
/* The reference library's expression grammar for GNU Bison, recognition
   only, reading the same token array as the SLR parser it is measured
   against. */
%define api.pure full
%define api.prefix {bench_}
%param {struct bench_cursor* cursor}

%code requires {
struct bench_cursor {
    const int* tokens;
    unsigned long next;
};
int bench_bison_parse(struct bench_cursor* cursor);
}

%code {
static int bench_lex(BENCH_STYPE* value, struct bench_cursor* cursor) {
    (void)value;
    return cursor->tokens[cursor->next++];
}
static void bench_error(struct bench_cursor* cursor, const char* message) {
    (void)cursor;
    (void)message;
}
int bench_bison_parse(struct bench_cursor* cursor) { return bench_parse(cursor); }
}

%token NUM ID

%%
e : e '+' t | e '-' t | t ;
t : t '*' f | t '/' f | f ;
f : '(' e ')' | NUM | ID ;
%%
