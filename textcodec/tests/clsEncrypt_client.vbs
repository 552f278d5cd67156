' An outside client of the string codec component. Wine's cscript ends with 0
' even after a script error, so every step checks Err and the last line printed
' is the PASS marker that the calling script looks for.
Option Explicit
Dim mode, o, r
mode = "registered"
If WScript.Arguments.Count > 0 Then mode = WScript.Arguments(0)

Sub Fail(what)
  WScript.Echo "FAIL " & what & " (Err " & Err.Number & ": " & Err.Description & ")"
  WScript.Quit 1
End Sub

On Error Resume Next
Set o = CreateObject("TextCodecLib.clsEncrypt")
If mode = "unregistered" Then
  If Err.Number <> 429 Then Fail "CreateObject after unregistering did not fail with 429"
  WScript.Echo "PASS unregistered"
  WScript.Quit 0
End If
If Err.Number <> 0 Then Fail "CreateObject(""TextCodecLib.clsEncrypt"")"

r = o.EncryptString("abc")
If Err.Number <> 0 Then Fail "EncryptString(""abc"")"
If r <> "97H98H99" Then Fail "EncryptString(""abc"") gave " & r

r = o.DecryptString("97H98H99")
If Err.Number <> 0 Then Fail "DecryptString(""97H98H99"")"
If r <> "abc" Then Fail "DecryptString(""97H98H99"") gave " & r

r = o.EncryptString("")
If Err.Number <> 0 Or r <> "" Then Fail "EncryptString of the empty text"

r = "unchanged"
r = o.DecryptString("97H")
If Err.Number = 0 Then Fail "DecryptString(""97H"") did not fail"
If Err.Number <> 13 Then Fail "DecryptString(""97H"") failed with the wrong number"
If r <> "unchanged" Then Fail "DecryptString(""97H"") handed back a text"
Err.Clear

r = o.DecryptString("256")
If Err.Number <> 5 Then Fail "DecryptString(""256"") did not fail with 5"
Err.Clear

Set o = Nothing
WScript.Echo "PASS registered"
