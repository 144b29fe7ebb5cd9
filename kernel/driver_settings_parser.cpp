#include "kernel/driver_settings_parser.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace fssh {
namespace {

bool is_separator(char c)
{
    return c == '\n' || c == ';';
}

bool is_space(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// White space that does not end a line (a carriage return counts as a blank,
// so that texts with CR LF line ends read like texts with LF).
bool is_blank(char c)
{
    return is_space(c) && c != '\n';
}

// Reads words from the source text and copies each, unescaped and
// NUL-terminated, to the output buffer. Copying (instead of cutting the
// source in place) lets the "=" that ends a first value begin the next value:
// "k=a=b" gives the values "a" and "=b".
//
// The output never needs more than twice the source length: a word holds at
// most the source characters it was read from, and its NUL can be charged to
// a source character no other word uses (its first character; the opening
// quote of an empty quoted word; the "=" after an empty name, which the first
// value then skips).
class SettingsReader {
public:
    SettingsReader(const char* text, char* output) : position_(text), output_(output) {}

    char Peek() const { return *position_; }
    void Skip() { position_++; }

    // Reads the next parameter name; *name is null at the end of the text or
    // at a "}". *more_values tells whether a value follows on the same line.
    status_code ReadName(char** name, bool* more_values)
    {
        *name = nullptr;
        *more_values = false;
        SkipToName();
        if (Peek() == '\0' || Peek() == '}') {
            return FSSH_OK;
        }
        return ReadWord(true, name, more_values);
    }

    // Reads the next value of a parameter; *value is null when the line
    // holds none after all (as in "name =" at the end of a line).
    status_code ReadValue(bool first, char** value, bool* more_values)
    {
        *value = nullptr;
        *more_values = false;
        while (is_blank(Peek()) || (first && Peek() == '=')) {
            Skip();
        }
        if (ends_value_line(Peek())) {
            LookAhead(false);
            return FSSH_OK;
        }
        // The first value, like a name, ends at "="; later values may hold it.
        return ReadWord(first, value, more_values);
    }

private:
    static bool ends_value_line(char c)
    {
        return c == '\0' || c == '#' || c == '{' || c == '}' || is_separator(c);
    }

    // Skips white space, separators and comments before a name.
    void SkipToName()
    {
        for (;;) {
            char c = Peek();
            if (c == '#') {
                while (Peek() != '\0' && Peek() != '\n') {
                    Skip();
                }
            } else if (is_space(c) || c == ';') {
                Skip();
            } else {
                return;
            }
        }
    }

    status_code ReadWord(bool stop_at_equals, char** word, bool* more_values)
    {
        *word = output_;
        char quote = '\0';
        if (Peek() == '"' || Peek() == '\'') {
            quote = Peek();
            Skip();
        }
        bool separator_seen = false;
        for (;;) {
            char c = Peek();
            if (c == '\0') {
                if (quote != '\0') {
                    return FSSH_CORRUPT_DATA;
                }
                break;
            }
            if (quote == '\0' && stop_at_equals && c == '=') {
                break;  // the "=" stays in the text: it starts the next value
            }
            Skip();
            if (c == '\\') {
                if (Peek() == '\0') {
                    return FSSH_CORRUPT_DATA;
                }
                *output_++ = Peek();
                Skip();
                continue;
            }
            if (quote != '\0') {
                if (c == quote) {
                    break;
                }
            } else if (is_space(c) || c == ';') {
                separator_seen = is_separator(c);
                break;
            }
            *output_++ = c;
        }
        *output_++ = '\0';
        *more_values = LookAhead(separator_seen);
        return FSSH_OK;
    }

    // Decides after a word whether another value of the same parameter
    // follows. A newline or ";" ends the parameter at the next non-blank
    // character (so that a "{" on the next line still opens its block), and
    // a second one in a row ends it there.
    bool LookAhead(bool separator_seen)
    {
        for (;;) {
            char c = Peek();
            if (c == '\0' || c == '#' || c == '{' || c == '}') {
                return false;
            }
            if (is_separator(c)) {
                if (separator_seen) {
                    return false;
                }
                separator_seen = true;
            } else if (!is_blank(c)) {
                return !separator_seen;
            }
            Skip();
        }
    }

    const char* position_;
    char* output_;
};

// Appends one element to a heap array grown one element at a time.
template <typename T>
status_code append_element(T** array, int32_t* count, const T& element)
{
    T* grown = static_cast<T*>(std::realloc(*array, sizeof(T) * (*count + 1)));
    if (grown == nullptr) {
        return FSSH_NO_MEMORY;
    }
    grown[*count] = element;
    *array = grown;
    (*count)++;
    return FSSH_OK;
}

void free_parameter_array(settings_parameter* parameters, int32_t count);

void free_parameter(settings_parameter* parameter)
{
    free_parameter_array(parameter->parameters, parameter->parameter_count);
    std::free(parameter->values);
}

void free_parameter_array(settings_parameter* parameters, int32_t count)
{
    for (int32_t i = count - 1; i >= 0; i--) {
        free_parameter(&parameters[i]);
    }
    std::free(parameters);
}

status_code read_values(SettingsReader& reader, settings_parameter* parameter, bool more_values)
{
    while (more_values) {
        char* value;
        status_code status = reader.ReadValue(parameter->value_count == 0, &value, &more_values);
        if (status != FSSH_OK) {
            return status;
        }
        if (value == nullptr) {
            return FSSH_OK;
        }
        status = append_element(&parameter->values, &parameter->value_count, value);
        if (status != FSSH_OK) {
            return status;
        }
    }
    return FSSH_OK;
}

// Reads one parameter with its values and appends it to the block.
status_code parse_parameter(SettingsReader& reader, char* name, bool more_values,
                            settings_parameter** parameters, int32_t* count)
{
    settings_parameter parameter = {name, 0, nullptr, 0, nullptr};
    status_code status = read_values(reader, &parameter, more_values);
    if (status == FSSH_OK) {
        status = append_element(parameters, count, parameter);
    }
    if (status != FSSH_OK) {
        free_parameter(&parameter);
    }
    return status;
}

// Parses the parameters of a block at nesting level `level` (0 is the top
// level, which ends with the text; deeper blocks end with "}").
status_code parse_block(SettingsReader& reader, int32_t level, settings_parameter** parameters,
                        int32_t* count)
{
    if (level > SETTINGS_MAX_NESTING) {
        return FSSH_SYMLINK_LOOP;
    }
    for (;;) {
        char* name;
        bool more_values;
        status_code status = reader.ReadName(&name, &more_values);
        if (status != FSSH_OK) {
            return status;
        }
        if (name != nullptr) {
            status = parse_parameter(reader, name, more_values, parameters, count);
            if (status != FSSH_OK) {
                return status;
            }
            if (reader.Peek() == '{') {
                reader.Skip();
                settings_parameter* parameter = &(*parameters)[*count - 1];
                status = parse_block(reader, level + 1, &parameter->parameters,
                                     &parameter->parameter_count);
                if (status != FSSH_OK) {
                    return status;
                }
            }
        }
        char next = reader.Peek();
        if (level == 0) {
            if (next == '\0') {
                return FSSH_OK;
            }
            if (next == '}') {
                return FSSH_ERROR;
            }
        } else {
            if (next == '}') {
                reader.Skip();
                return FSSH_OK;
            }
            if (next == '\0') {
                return FSSH_ERROR;
            }
        }
    }
}

}  // namespace

status_code parse_settings_text(const char* text, driver_settings* settings, char** words)
{
    *settings = {0, nullptr};
    *words = nullptr;
    if (text == nullptr) {
        return FSSH_OK;
    }
    char* output = static_cast<char*>(std::malloc(2 * std::strlen(text) + 1));
    if (output == nullptr) {
        return FSSH_NO_MEMORY;
    }
    SettingsReader reader(text, output);
    status_code status = parse_block(reader, 0, &settings->parameters, &settings->parameter_count);
    if (status != FSSH_OK) {
        free_settings_parameters(settings);
        std::free(output);
        return status;
    }
    *words = output;
    return FSSH_OK;
}

void free_settings_parameters(driver_settings* settings)
{
    free_parameter_array(settings->parameters, settings->parameter_count);
    *settings = {0, nullptr};
}

}  // namespace fssh
