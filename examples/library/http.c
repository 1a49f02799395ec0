/* A GET and a form POST. Run with the base URL of a server:
 *   ./http_example http://127.0.0.1:8000/hello.txt */
#include <stdio.h>
#include <stdlib.h>

#include <vesk/http/url.h>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    url *u = url_new(argv[1]);
    printf("host %s port %s file %s\n", url_get_host(u), url_get_port(u), url_get_file(u));

    char *body = NULL;
    int n = url_execute_get(u, &body, NULL, NULL); /* body length, or -1, -2, -3 */
    printf("GET %d: %.*s\n", n, n > 0 ? n : 0, body != NULL ? body : "");
    free(body); /* NULL on failure or for an empty body */

    /* The form body is "nome=a%20b&id=7&". */
    char *form[] = {"nome", "a b", "id", "7", NULL};
    n = url_execute_post(u, form, &body, NULL, NULL);
    printf("POST %s\n", n >= 0 ? "answered" : "failed");
    free(body);

    url_free(u);
    return 0;
}
