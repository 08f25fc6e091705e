//Maya ASCII 4.0 scene
requires maya "4.0";
playbackOptions -min 0 -max 1 -animationStartTime 0;
createNode resolution -n "TrackerResolution";
	setAttr ".w" 720;
	setAttr ".h" 576;
	setAttr ".dar" 1.33333;
createNode transform -n "VoodooCam";
	setAttr ".t" -type "double3" 0 0 0 ;
createNode animCurveTL -n "VoodooCam_translateX";
	setAttr -s 2 ".ktv[0:1]" 0 0.5 1 0.6 ;
createNode animCurveTL -n "VoodooCam_translateY";
	setAttr -s 2 ".ktv[0:1]" 0 1.25 1 1.25 ;
createNode animCurveTL -n "VoodooCam_translateZ";
	setAttr -s 2 ".ktv[0:1]" 0 -3 1 -3 ;
createNode animCurveTA -n "VoodooCam_rotateX";
	setAttr -s 2 ".ktv[0:1]" 0 2.5 1 2.5 ;
createNode animCurveTA -n "VoodooCam_rotateY";
	setAttr -s 2 ".ktv[0:1]" 0 10.25 1 10.5 ;
createNode animCurveTA -n "VoodooCam_rotateZ";
	setAttr -s 2 ".ktv[0:1]" 0 4 1 4 ;
//Tracker export -fps 25
	setAttr ".t" -type "double3" 1.5 -2.25 10
	setAttr ".t" -type "double3"   4   5   6   ; 	 
	setAttr ".t" -type "double3" 1 2 3 4;
	setAttr ".t" -type "double3" 1 abc 3;
	setAttr ".t" -type "double3" 0 -0 1e-3;
	setAttr ".t" -type "double3x" 1 2 3;
	setAttr ".t" -type "double3" 1 2;
	setAttr ".t" -type "double3" ;
	setAttr ".t" -type "double3" 7 8 9;